#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

#include "net/http_client.h"
#include "testing/servers/local_servers.h"

namespace {

const char kSecret[] = "secret body";

struct TlsServers {
  TlsServers()
      : trusted(TestTls().serverCert, TestTls().serverKey),
        wrongHost(TestTls().wrongHostCert, TestTls().wrongHostKey),
        untrusted(TestTls().untrustedCert, TestTls().untrustedKey) {
    for (LocalServer* s : {&trusted, &wrongHost, &untrusted}) {
      s->server().Get("/doc", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kSecret, "text/plain");
      });
      s->server().Post("/doc", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::string(kSecret) + ":" + req.body, "text/plain");
      });
      s->Start();
    }
  }
  LocalServer trusted, wrongHost, untrusted;
};

std::string VerificationFailure() {
  return std::string("curl_easy_perform() failed:") + curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION) +
         "\n";
}

TEST(TlsPolicy, CertificatesAreVerifiedOnEveryOperation) {
  ASSERT_FALSE(TestTls().dir.empty()) << "could not make TLS test files";
  TlsServers servers;
  ASSERT_GT(servers.trusted.port(), 0);
  const std::string localhostUrl = "https://localhost:" + std::to_string(servers.trusted.port()) + "/doc";
  struct Case {
    const char* name;
    std::string url;
    int expected;
  } cases[] = {
      {"chains to the trusted CA", servers.trusted.Url() + "/doc", 200},
      {"trusted, by host name", localhostUrl, 200},
      {"certificate for another host", servers.wrongHost.Url() + "/doc", CURLE_PEER_FAILED_VERIFICATION},
      {"unknown CA", servers.untrusted.Url() + "/doc", CURLE_PEER_FAILED_VERIFICATION},
  };
  for (const Case& c : cases) {
    HttpClient client;
    std::string response;
    EXPECT_EQ(client.Get(c.url, "", response, nullptr, 10), c.expected) << c.name;
    EXPECT_EQ(response, c.expected == 200 ? std::string(kSecret) : VerificationFailure()) << c.name;

    HttpClient poster;
    EXPECT_EQ(poster.PostJson(c.url, "User-Agent: t", "{}", response), c.expected) << c.name;
    EXPECT_EQ(response, c.expected == 200 ? std::string(kSecret) + ":{}" : VerificationFailure()) << c.name;
  }
}

TEST(TlsPolicy, OnlyTheProxySwitchTurnsVerificationOff) {
  ASSERT_FALSE(TestTls().dir.empty()) << "could not make TLS test files";
  TlsServers servers;
  for (bool proxy : {false, true}) {
    ProxySwitch sw(proxy);
    // A bare handle, as the probe and the downloader use it (no proxy option).
    CURL* handle = curl_easy_init();
    ASSERT_NE(handle, nullptr);
    std::string url = servers.untrusted.Url() + "/doc";
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    ApplyTlsPolicy(handle);
    EXPECT_EQ(curl_easy_perform(handle), proxy ? CURLE_OK : CURLE_PEER_FAILED_VERIFICATION)
        << "proxy " << proxy;
    curl_easy_cleanup(handle);
  }
}

}  // namespace
