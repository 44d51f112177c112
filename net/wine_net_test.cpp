// The network subsystem of the Windows build (libcurl over Schannel) against
// real local servers started by wine_net_check.sh, which passes their URLs in
// QV_TEST_*_URL and the trusted CA in QV_CA_FILE.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "base/debug_output.h"
#include "net/backup_domains.h"
#include "net/http_client.h"
#include "net/throughput_ranking.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class WineNetTest : public testing::Test {
 protected:
  void SetUp() override {
    http_ = Env("QV_TEST_HTTP_URL");
    https_ = Env("QV_TEST_HTTPS_URL");
    wrongHost_ = Env("QV_TEST_HTTPS_WRONGHOST_URL");
    untrusted_ = Env("QV_TEST_HTTPS_UNTRUSTED_URL");
    ASSERT_FALSE(http_.empty() || https_.empty() || wrongHost_.empty() || untrusted_.empty())
        << "run through wine_net_check.sh";
  }
  std::string http_, https_, wrongHost_, untrusted_;
};

std::string VerificationFailure() {
  return std::string("curl_easy_perform() failed:") + curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION) +
         "\n";
}

TEST_F(WineNetTest, GetOverHttpAndHttps) {
  struct Case {
    const char* name;
    std::string url;
    int expected;
    std::string response;
  } cases[] = {
      {"http", http_ + "/hello", 200, "hello"},
      {"https, trusted CA", https_ + "/hello", 200, "hello"},
      {"404 body kept", https_ + "/missing", 404, "no such page"},
      {"https, other host name", wrongHost_ + "/hello", CURLE_PEER_FAILED_VERIFICATION,
       VerificationFailure()},
      {"https, unknown CA", untrusted_ + "/hello", CURLE_PEER_FAILED_VERIFICATION, VerificationFailure()},
  };
  for (const Case& c : cases) {
    HttpClient client;
    std::string response;
    EXPECT_EQ(client.Get(c.url, "", response, nullptr, 10), c.expected) << c.name;
    EXPECT_EQ(response, c.response) << c.name;
  }
}

TEST_F(WineNetTest, HeaderLinesAreSplitAndNotCarriedOver) {
  HttpClient client;
  std::string response;
  ASSERT_EQ(client.Get(https_ + "/headers", "X-A: 1\r\n\r\nX-B: 2\r\n", response, nullptr, 10), 200);
  EXPECT_EQ(response, "X-A: 1\nX-B: 2");
  ASSERT_EQ(client.Get(https_ + "/headers", "", response, nullptr, 10), 200);
  EXPECT_EQ(response, "");
}

TEST_F(WineNetTest, PostJsonOverHttpAndHttps) {
  for (const std::string& base : {http_, https_}) {
    HttpClient client;
    std::string response;
    EXPECT_EQ(client.PostJson(base + "/echo", "User-Agent: PC/test", "{\"a\":1}", response), 200) << base;
    EXPECT_EQ(response, "application/json;charset=UTF-8|PC/test|{\"a\":1}") << base;
  }
  HttpClient client;
  std::string response;
  EXPECT_EQ(client.PostJson(untrusted_ + "/echo", "User-Agent: PC/test", "{}", response),
            CURLE_PEER_FAILED_VERIFICATION);
}

TEST_F(WineNetTest, DirectoryOverHttpsCarriesTheBuildVersion) {
  // The server names the domains and mirrors what it received.
  DomainList got = FetchBackupDomains("User-Agent: PC/Windows/test", true, TransferPolicy());
  DomainList expected = {http_, https_, "query:client_type=10&version=3.0.0", "build:1234",
                         "agent:PC/Windows/test"};
  EXPECT_EQ(got, expected);
}

TEST_F(WineNetTest, RankingProbesVerifyAndMeasure) {
  std::string line;
  SetDebugSink([&line](const std::string& text) { line = text; });
  const RankedDomains ranked =
      CheckThroughputAndSortDomains({untrusted_, http_, https_}, "/official/pc/client_channel/QVInstaller.exe", 2,
                                    TransferPolicy());
  SetDebugSink(nullptr);
  DomainList domains;
  std::map<std::string, SpeedSample> samples;
  for (const RankedDomain& entry : ranked) {
    domains.push_back(entry.domain);
    samples[entry.domain] = entry.sample;
  }
  std::printf("%s\n", line.c_str());
  EXPECT_EQ(domains.back(), untrusted_);
  EXPECT_FALSE(samples[untrusted_].ok);
  EXPECT_EQ(samples[untrusted_].bytes, 0);
  EXPECT_TRUE(samples[http_].ok);
  EXPECT_TRUE(samples[https_].ok);
  EXPECT_GT(samples[https_].bytes, 0);
  EXPECT_EQ(line.rfind("Domain Throughput Sort Result: [", 0), 0u) << line;
}

}  // namespace
