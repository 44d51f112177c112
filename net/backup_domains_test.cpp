#include "net/backup_domains.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/vendor.h"
#include "testing/servers/local_servers.h"

namespace {

const char kPath[] = "/api/multi_platform_manage_bff/v1/disaster/backup_domain/list";
const char kUserAgent[] = "User-Agent: PC/Windows/10.0/dev/Quorvane-PC/3.0.0/5/0";

DomainList Builtin() { return {kBuiltinStatic, kBuiltinAppHub}; }

std::string Nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(FetchBackupDomains, SendsTheFixedRequestToTheChosenHost) {
  RawServer& directory = DirectoryServer();
  directory.SetResponse(RawServer::Response(200, "{}"));
  for (bool testEndpoint : {false, true}) {
    directory.ClearRequests();
    EXPECT_EQ(FetchBackupDomains(kUserAgent, testEndpoint, TransferPolicy()), Builtin());
    auto requests = directory.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RequestLine(requests[0]),
              std::string("GET ") + kPath + "?client_type=10&version=3.0.0 HTTP/1.1");
    std::vector<std::string> sent;
    std::string host;
    for (const std::string& line : HeaderLines(requests[0])) {
      if (line.rfind("Host:", 0) == 0) host = line.substr(0, line.rfind(':'));
      if (line.rfind("Host:", 0) != 0 && line.rfind("Accept-Encoding:", 0) != 0) sent.push_back(line);
    }
    // The two endpoints are the same server under two names
    // (testing/servers/net_test_environment.cpp).
    EXPECT_EQ(host, testEndpoint ? "Host: localhost" : "Host: 127.0.0.1") << "test endpoint " << testEndpoint;
    // No build version natively: the empty "Client-Build-Version:" entry is not sent.
    std::vector<std::string> expected = {"Accept:application/json", "Saas-App-Id:QV_PC",
                                         "Saas-Product-Line:QV", kUserAgent};
    EXPECT_EQ(sent, expected) << "test endpoint " << testEndpoint;
  }
}

TEST(DirectoryEndpoints, TestSwitchChoosesTheHost) {
  VendorHosts hosts;
  hosts.directoryTest = "https://dir-test.example";
  hosts.directoryProd = "https://dir.example";
  EXPECT_EQ(DirectoryEndpoints(hosts, true),
            std::vector<std::string>{"https://dir-test.example" + std::string(kPath)});
  EXPECT_EQ(DirectoryEndpoints(hosts, false),
            std::vector<std::string>{"https://dir.example" + std::string(kPath)});
}

TEST(FetchBackupDomains, ReadsTheFirstCdnEntryOrKeepsTheBuiltInList) {
  const std::string huge(8 * 1024 * 1024, 'h');
  struct Case {
    const char* name;
    int status;
    std::string body;
    DomainList expected;
  } cases[] = {
      {"main and backups, number skipped",
       200,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m","backup_urls":["https://b1",7,"https://b2"]}]})",
       {"https://m", "https://b1", "https://b2"}},
      {"first CDN entry wins",
       200,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://one"},{"domain_key":"OSS_DOMAIN","main_url":"https://two"}]})",
       {"https://one"}},
      {"CDN entry without URLs empties the list",
       200,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN"}]})",
       {}},
      {"main URL as a number",
       200,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":5,"backup_urls":["https://b"]}]})",
       {"https://b"}},
      {"other case of the key ignored", 200,
       R"({"domain_list":[{"domain_key":"oss_domain","main_url":"https://m"}]})", Builtin()},
      {"other keys and non-objects skipped",
       200,
       R"({"domain_list":[1,"x",null,[],{"domain_key":"API_DOMAIN","main_url":"https://api"},{"domain_key":7},)"
       R"({"main_url":"https://nokey"},{"domain_key":"OSS_DOMAIN","main_url":"https://m"}],"other":1})",
       {"https://m"}},
      {"backup URLs not an array",
       200,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m","backup_urls":"https://b"}]})",
       {"https://m"}},
      {"no CDN entry", 200, R"({"domain_list":[{"domain_key":"API_DOMAIN","main_url":"https://api"}]})",
       Builtin()},
      {"domain_list missing", 200, R"({"data":{"domain_list":[]}})", Builtin()},
      {"domain_list an object", 200, R"({"domain_list":{"domain_key":"OSS_DOMAIN","main_url":"https://m"}})",
       Builtin()},
      {"root an array", 200, R"([{"domain_list":[]}])", Builtin()},
      {"not JSON", 200, "<html>maintenance</html>", Builtin()},
      {"empty body", 200, "", Builtin()},
      {"truncated", 200, R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m")", Builtin()},
      {"trailing garbage", 200, R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m"}]} x)",
       Builtin()},
      {"deep nesting", 200, Nested(200000), Builtin()},
      {"deep nesting beside a CDN entry",
       200,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m","x":)" + Nested(200000) + "}]}",
       {"https://m"}},
      {"unterminated deep nesting", 200, std::string(300000, '{'), Builtin()},
      {"huge ignored member",
       200,
       R"({"pad":")" + huge + R"(","domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m"}]})",
       {"https://m"}},
      {"huge garbage", 200, huge, Builtin()},
      {"error status with a usable body",
       503,
       R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://m"}]})",
       {"https://m"}},
      {"error page", 404, "<html>not found</html>", Builtin()},
  };
  for (const Case& c : cases) {
    DirectoryServer().SetResponse(
        RawServer::Response(c.status, c.body, "Content-Type: application/json\r\n"));
    EXPECT_EQ(FetchBackupDomains(kUserAgent, false, TransferPolicy()), c.expected) << c.name;
  }
}

TEST(FetchBackupDomains, UnreachableDirectoryGivesTheBuiltInList) {
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + kPath;
  EXPECT_EQ(FetchBackupDomainsFrom({closed}, Builtin(), kUserAgent, TransferPolicy()), Builtin());
}

TEST(FetchBackupDomains, EndpointsAreTriedUntilOneAnswers200) {
  RawServer failing, answering, unused;
  ASSERT_TRUE(failing.listening() && answering.listening() && unused.listening());
  failing.SetResponse(RawServer::Response(
      500, R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://from-500"}]})"));
  answering.SetResponse(RawServer::Response(
      200, R"({"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"https://from-200"}]})"));
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + kPath;
  DomainList got =
      FetchBackupDomainsFrom({closed, failing.Url() + kPath, answering.Url() + kPath, unused.Url() + kPath},
                             Builtin(), kUserAgent, TransferPolicy());
  EXPECT_EQ(got, DomainList{"https://from-200"});
  EXPECT_EQ(failing.Requests().size(), 1u);
  EXPECT_EQ(unused.Requests().size(), 0u);
}

}  // namespace
