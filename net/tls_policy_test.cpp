#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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
    // The switch alone, on a direct route (no debugging proxy runs here).
    CurlHandle handle = CurlHandle::Create();
    ASSERT_TRUE(handle);
    curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    EXPECT_EQ(PerformOnRoutes(handle.get(), servers.untrusted.Url() + "/doc", policy, TransferLimits(),
                              {ProxyRoute()}),
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
  ProxyRoute closedProxy;
  closedProxy.kind = ProxyRoute::Kind::kProxy;
  closedProxy.proxy.host = "127.0.0.1";
  closedProxy.proxy.port = ClosedPort();
  const ProxyRoute direct;
  const std::string closedUrl = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/doc";
  struct Case {
    const char* name;
    std::vector<ProxyRoute> routes;
    std::string url;
    int expected;
  } cases[] = {
      {"proxy down, then direct", {closedProxy, direct}, server.Url() + "/doc", CURLE_OK},
      {"proxy down, no other route", {closedProxy}, server.Url() + "/doc", CURLE_COULDNT_CONNECT},
      {"direct fails: no further route", {direct, closedProxy}, closedUrl, CURLE_COULDNT_CONNECT},
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

// The routes of one URL: the debugging proxy wins over every setting; else
// the routing's proxies (less those that failed earlier in the run), then
// direct.
TEST(TransferRoutes, DebugSwitchThenRoutingThenDirect) {
  struct FixedRouting : ProxyRouting {
    ProxyChoice ForUrl(const std::string&) override {
      ProxyChoice c;
      c.source = ProxySource::kManual;
      c.proxies = {ProxyServer{"p1.test", 3128, false}, ProxyServer{"p2.test", 8080, false}};
      c.reason = "manual settings";
      return c;
    }
  };
  auto failedP1 = std::make_shared<FixedRouting>();
  failedP1->NoteProxyFailed(ProxyServer{"p1.test", 3128, false});
  struct Case {
    const char* name;
    bool debugProxy;
    std::shared_ptr<ProxyRouting> routing;
    std::vector<std::string> expected;
    std::string why;
  } cases[] = {
      {"no routing", false, nullptr, {"direct"}, "no proxy configured"},
      {"routing without proxies", false, std::make_shared<ProxyRouting>(), {"direct"}, "no proxy configured"},
      {"proxies, then direct",
       false,
       std::make_shared<FixedRouting>(),
       {"via proxy p1.test:3128", "via proxy p2.test:8080", "direct"},
       "manual settings"},
      {"a proxy that failed earlier is skipped",
       false,
       failedP1,
       {"via proxy p2.test:8080", "direct"},
       "manual settings; skipped proxy p1.test:3128, it failed earlier"},
      {"debugging proxy wins", true, std::make_shared<FixedRouting>(), {"via debugging proxy 127.0.0.1:8888"},
       "-enable-http-proxy"},
  };
  for (const Case& c : cases) {
    TransferPolicy policy;
    policy.debugProxy = c.debugProxy;
    policy.routing = c.routing;
    std::string why;
    std::vector<std::string> got;
    for (const ProxyRoute& r : TransferRoutes(policy, "https://a.example/f", &why)) got.push_back(r.Describe());
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
}

// A transfer asked for over https follows redirects only to https: one to
// plain http ends it (libcurl's "unsupported protocol") before anything is
// asked of the http server. Plain http may still go to https.
TEST(TlsPolicy, RedirectsOfAnHttpsTransferStayOnHttps) {
  ASSERT_FALSE(TestTls().dir.empty()) << "could not make TLS test files";
  LocalServer plain;
  LocalServer secure(TestTls().serverCert, TestTls().serverKey);
  std::atomic<int> plainRequests{0};
  plain.server().Get("/doc", [&](const httplib::Request&, httplib::Response& res) {
    ++plainRequests;
    res.set_content(kSecret, "text/plain");
  });
  plain.server().Get("/to-https", [&](const httplib::Request&, httplib::Response& res) {
    res.set_redirect(secure.Url() + "/doc");
  });
  secure.server().Get("/doc", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kSecret, "text/plain");
  });
  secure.server().Get("/to-http", [&](const httplib::Request&, httplib::Response& res) {
    res.set_redirect(plain.Url() + "/doc");
  });
  secure.server().Get("/to-https", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/doc"); });
  plain.Start();
  secure.Start();
  ASSERT_GT(plain.port(), 0);
  ASSERT_GT(secure.port(), 0);
  struct Case {
    const char* name;
    std::string url;
    int expected;
  } cases[] = {
      {"https to http", secure.Url() + "/to-http", CURLE_UNSUPPORTED_PROTOCOL},
      {"https to https", secure.Url() + "/to-https", 200},
      {"http to https", plain.Url() + "/to-https", 200},
  };
  for (const Case& c : cases) {
    HttpClient client;
    std::string response;
    EXPECT_EQ(client.Get(c.url, "", response, nullptr, 10), c.expected) << c.name;
  }
  EXPECT_EQ(plainRequests, 0) << "the downgrade reached the http server";
}

}  // namespace
