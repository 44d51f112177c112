#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/curl_handle.h"
#include "net/http_client.h"
#include "net/transfer_policy.h"
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
    TransferPolicy policy;
    policy.debugProxy = proxy;
    // A transfer that takes no proxy route, as the probe makes it.
    TransferLimits limits;
    limits.proxyAllowed = false;
    CurlHandle handle = CurlHandle::Create();
    ASSERT_TRUE(handle);
    curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    EXPECT_EQ(PerformTransfer(handle.get(), servers.untrusted.Url() + "/doc", policy, limits),
              proxy ? CURLE_OK : CURLE_PEER_FAILED_VERIFICATION)
        << "proxy " << proxy;
  }
}

// A proxy route that cannot be reached gives way to the next route; a
// direct route that fails ends the transfer with its own code.
TEST(TransferRoutes, UnreachableProxyFallsBackToTheNextRoute) {
  LocalServer server;
  server.server().Get("/doc", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kSecret, "text/plain");
  });
  server.Start();
  const std::string closedProxy = "127.0.0.1:" + std::to_string(ClosedPort());
  const std::string closedUrl = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/doc";
  struct Case {
    const char* name;
    std::vector<TransferRoute> routes;
    std::string url;
    int expected;
  } cases[] = {
      {"proxy down, then direct", {{closedProxy}, {""}}, server.Url() + "/doc", CURLE_OK},
      {"proxy down, no other route", {{closedProxy}}, server.Url() + "/doc", CURLE_COULDNT_CONNECT},
      {"direct fails: no further route", {{""}, {closedProxy}}, closedUrl, CURLE_COULDNT_CONNECT},
      {"no route at all", {}, server.Url() + "/doc", CURLE_FAILED_INIT},
  };
  for (const Case& c : cases) {
    CurlHandle handle = CurlHandle::Create();
    ASSERT_TRUE(handle);
    std::string body;
    curl_easy_setopt(
        handle.get(), CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* out) {
          static_cast<std::string*>(out)->append(d, s * n);
          return s * n;
        });
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
    EXPECT_EQ(PerformOnRoutes(handle.get(), c.url, TransferPolicy(), TransferLimits(), c.routes), c.expected)
        << c.name;
    EXPECT_EQ(body, c.expected == CURLE_OK ? std::string(kSecret) : std::string()) << c.name;
  }
}

TEST(TransferRoutes, OnlyTheDebugSwitchAddsTheProxyRoute) {
  struct Case {
    bool debugProxy, proxyAllowed;
    std::string expected;
  } cases[] = {
      {false, true, ""},
      {true, true, "127.0.0.1:8888"},
      {true, false, ""},
      {false, false, ""},
  };
  for (const Case& c : cases) {
    TransferPolicy policy;
    policy.debugProxy = c.debugProxy;
    TransferLimits limits;
    limits.proxyAllowed = c.proxyAllowed;
    const std::vector<TransferRoute> routes = TransferRoutes(policy, limits, "https://a.example/f");
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].proxy, c.expected) << c.debugProxy << c.proxyAllowed;
  }
}

}  // namespace
