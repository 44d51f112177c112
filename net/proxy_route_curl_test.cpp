// The fallback rule against what libcurl really reports: transfers through
// the test proxy (testing/proxy/test_proxy.py) in each of its modes, judged
// by JudgeAttempt, with the proxy's record checked.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "base/debug_output.h"
#include "net/curl_handle.h"
#include "net/proxy_rules.h"
#include "net/proxy_route.h"
#include "net/transfer_policy.h"
#include "testing/servers/local_servers.h"

namespace {

namespace fs = std::filesystem;

// One test proxy process, ended when this goes out of scope.
class TestProxy {
 public:
  explicit TestProxy(std::vector<std::string> flags) {
    dir_ = fs::temp_directory_path() / ("qv-proxy-" + std::to_string(::getpid()) + "-" + std::to_string(++count_));
    fs::create_directories(dir_);
    std::vector<std::string> args = {"python3", QV_TEST_PROXY_SCRIPT, "--port-file", (dir_ / "port").string(),
                                     "--log", (dir_ / "log").string(), "--max-lifetime", "120"};
    args.insert(args.end(), flags.begin(), flags.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      std::freopen("/dev/null", "w", stdout);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp("python3", argv.data());
      ::_exit(127);
    }
    for (int i = 0; i < 200 && !fs::exists(dir_ / "port"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::ifstream in(dir_ / "port");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = text.find("\"port\": ");
    if (at != std::string::npos) port_ = std::atoi(text.c_str() + at + 8);
  }
  ~TestProxy() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(dir_);
  }
  int port() const { return port_; }
  ProxyRoute Route() const {
    ProxyRoute r;
    r.kind = ProxyRoute::Kind::kProxy;
    r.proxy.host = "127.0.0.1";
    r.proxy.port = port_;
    return r;
  }
  // "METHOD host:port path action" per recorded request.
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    std::ifstream in(dir_ / "log");
    std::string line;
    auto field = [&](const std::string& name) {
      size_t at = line.find("\"" + name + "\": ");
      if (at == std::string::npos) return std::string();
      at += name.size() + 4;
      if (line[at] == '"') return line.substr(at + 1, line.find('"', at + 1) - at - 1);
      return line.substr(at, line.find_first_of(",}", at) - at);
    };
    while (std::getline(in, line))
      lines.push_back(field("method") + " " + field("host") + ":" + field("port") + " " + field("path") + " " +
                      field("action"));
    return lines;
  }

 private:
  static inline int count_ = 0;
  fs::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

size_t Discard(char*, size_t size, size_t n, void*) { return size * n; }

RouteAttemptResult Attempt(const std::string& url, const ProxyRoute& route, long connectMs, long totalMs) {
  CurlHandle owner = CurlHandle::Create();
  CURL* h = owner.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROXY, route.CurlProxy().c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Discard);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, totalMs);
  curl_easy_setopt(h, CURLOPT_CAINFO, TestTls().caFile.c_str());
  RouteAttemptResult r;
  r.curlCode = curl_easy_perform(h);
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &r.httpCode);
  curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &r.connectCode);
  curl_easy_getinfo(h, CURLINFO_HEADER_SIZE, &r.headerBytes);
  return r;
}

class ProxyThroughCurl : public testing::Test {
 protected:
  void SetUp() override {
    http_.server().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("hello", "text/plain");
    });
    http_.Start();
    https_.server().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("hello", "text/plain");
    });
    https_.Start();
  }
  LocalServer http_;
  LocalServer https_{TestTls().serverCert, TestTls().serverKey};
};

TEST_F(ProxyThroughCurl, EachModeGivesTheVerdictTheRuleNames) {
  const std::string corpHttp = "http://api.corp.test:" + std::to_string(http_.port()) + "/hello";
  const std::string https = https_.Url() + "/hello";
  TestProxy forward({"--map", "*.corp.test=127.0.0.1"});
  TestProxy refuse({"--mode", "refuse"});
  TestProxy stall({"--mode", "stall"});
  TestProxy auth({"--mode", "auth"});
  for (const TestProxy* p : {&forward, &refuse, &stall, &auth}) ASSERT_GT(p->port(), 0) << "test proxy did not start";
  ProxyRoute closed = forward.Route();
  closed.proxy.port = ClosedPort();
  ProxyRoute unknown = forward.Route();
  unknown.proxy.host = "proxy.invalid";

  struct Case {
    const char* name;
    ProxyRoute route;
    std::string url;
    int curlCode;  // -1: 52 or 56, as the close races the request (nothing received, or a reset)
    long connectCode;
    RouteVerdict verdict;
  } cases[] = {
      {"forwarded http to a name only the proxy knows", forward.Route(), corpHttp, CURLE_OK, 0, RouteVerdict::kDone},
      {"https tunnel", forward.Route(), https, CURLE_OK, 200, RouteVerdict::kDone},
      {"that name direct", ProxyRoute(), corpHttp, CURLE_COULDNT_RESOLVE_HOST, 0, RouteVerdict::kDone},
      {"proxy closes at once, http", refuse.Route(), corpHttp, -1, 0, RouteVerdict::kProxyFailed},
      {"proxy closes at once, https", refuse.Route(), https, CURLE_RECV_ERROR, 0, RouteVerdict::kProxyFailed},
      {"proxy stalls, http", stall.Route(), corpHttp, CURLE_OPERATION_TIMEDOUT, 0, RouteVerdict::kProxyFailed},
      {"proxy stalls, https", stall.Route(), https, CURLE_OPERATION_TIMEDOUT, 0, RouteVerdict::kProxyFailed},
      {"proxy asks for authentication, http", auth.Route(), corpHttp, CURLE_OK, 0, RouteVerdict::kProxyAuthRequired},
      {"proxy asks for authentication, https", auth.Route(), https, CURLE_RECV_ERROR, 407,
       RouteVerdict::kProxyAuthRequired},
      {"nothing listens on the proxy port", closed, https, CURLE_COULDNT_CONNECT, 0, RouteVerdict::kProxyFailed},
      {"proxy name unknown", unknown, https, CURLE_COULDNT_RESOLVE_PROXY, 0, RouteVerdict::kProxyFailed},
  };
  for (const Case& c : cases) {
    // Short limits only where the time-out is the outcome (a stalling proxy);
    // the rest get room for a TLS handshake under sanitizers on a loaded machine.
    const bool stalls = c.curlCode == CURLE_OPERATION_TIMEDOUT;
    RouteAttemptResult r = Attempt(c.url, c.route, stalls ? 1000 : 20000, stalls ? 1500 : 30000);
    if (c.curlCode == -1) {
      EXPECT_TRUE(r.curlCode == CURLE_GOT_NOTHING || r.curlCode == CURLE_RECV_ERROR) << c.name << ": " << r.curlCode;
    } else {
      EXPECT_EQ(r.curlCode, c.curlCode) << c.name << ": " << curl_easy_strerror(static_cast<CURLcode>(r.curlCode));
    }
    EXPECT_EQ(r.connectCode, c.connectCode) << c.name;
    EXPECT_EQ(JudgeAttempt(c.route, r), c.verdict) << c.name;
  }
  const std::string httpPort = std::to_string(http_.port()), httpsPort = std::to_string(https_.port());
  EXPECT_EQ(forward.Log(), (std::vector<std::string>{"GET api.corp.test:" + httpPort + " /hello forward",
                                                     "CONNECT 127.0.0.1:" + httpsPort + "  tunnel"}));
  EXPECT_EQ(auth.Log(), (std::vector<std::string>{"GET api.corp.test:" + httpPort + " /hello auth-required",
                                                  "CONNECT 127.0.0.1:" + httpsPort + "  auth-required"}));
  EXPECT_EQ(stall.Log().size(), 2u);
}

TEST_F(ProxyThroughCurl, StalledProxyThenDirectInsideTheConnectLimit) {
  TestProxy stall({"--mode", "stall"});
  ASSERT_GT(stall.port(), 0);
  ProxyChoice choice;
  choice.proxies = {stall.Route().proxy};
  const long limitMs = 3000;
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  };
  std::vector<long> connects, startedAt;
  RouteRun run = TryRoutes(https_.Url(), "test", PlanRoutes(choice, false), [&](const ProxyRoute& route, bool last) {
    startedAt.push_back(elapsed());
    connects.push_back(ConnectTimeoutForRoute(limitMs, startedAt.back(), last));
    return Attempt(https_.Url() + "/hello", route, connects.back(), 30000);
  });
  EXPECT_EQ(run.attempts, 2u);
  EXPECT_EQ(run.result.curlCode, CURLE_OK);
  EXPECT_EQ(run.result.httpCode, 200);
  EXPECT_FALSE(run.FailedForProxyAuth());
  // The stalling proxy had at most half the limit, direct the rest of it:
  // together they stay inside it, whatever the machine's speed.
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_GT(connects[0], 0);
  EXPECT_LE(connects[0], limitMs / 2);
  EXPECT_GT(connects[1], 0);
  EXPECT_LE(connects[1], std::max(1L, limitMs - startedAt[1])) << "direct's connect limit ends with the transfer's";
  EXPECT_GE(startedAt[1], connects[0] - 50) << "the proxy was left by its own time-out";
  EXPECT_LT(elapsed(), 4 * limitMs) << "a bound far from any speed, not a speed goal";
  ASSERT_EQ(run.log.size(), 3u);
  EXPECT_EQ(run.log[1], "left via proxy 127.0.0.1:" + std::to_string(stall.port()) +
                            ": the proxy did not answer in time (curl 28); next route");
}

// The run's routing through PerformTransfer, as every transfer of the
// installer takes it: a proxy that forwards carries the request to a name
// only it resolves; one that stalls is left for direct within the connect
// limit and not tried again in the run; one that asks for credentials, with
// no other way out, is what the run's failure names.
TEST_F(ProxyThroughCurl, PerformTransferFollowsTheRunsRouting) {
  struct OneProxy : ProxyRouting {
    explicit OneProxy(ProxyServer p) : proxy(p) {}
    ProxyChoice ForUrl(const std::string&) override {
      ProxyChoice c;
      c.source = ProxySource::kManual;
      c.proxies = {proxy};
      c.reason = "manual settings";
      return c;
    }
    ProxyServer proxy;
  };
  const std::string port = std::to_string(http_.port());
  const std::string mappedUrl = "http://api.corp.test:" + port + "/hello";
  const std::string directUrl = "http://127.0.0.1:" + port + "/hello";
  struct Case {
    const char* mode;
    std::string url;
    int code;
    long status;
    bool proxyFailed, authFailed;
    size_t logged;  // requests the proxy saw over two transfers
  } cases[] = {
      {"forward", mappedUrl, CURLE_OK, 200, false, false, 2},
      {"stall", directUrl, CURLE_OK, 200, true, false, 1},
      {"refuse", directUrl, CURLE_OK, 200, true, false, 1},
      {"auth", mappedUrl, CURLE_COULDNT_RESOLVE_HOST, 0, false, true, 2},
  };
  for (const Case& c : cases) {
    TestProxy proxy({"--mode", c.mode, "--map", "*.corp.test=127.0.0.1"});
    ASSERT_GT(proxy.port(), 0) << c.mode;
    TransferPolicy policy;
    auto routing = std::make_shared<OneProxy>(proxy.Route().proxy);
    policy.routing = routing;
    TransferLimits limits;
    limits.connectTimeoutMs = 3000;
    for (int transfer = 0; transfer < 2; ++transfer) {
      CurlHandle handle = CurlHandle::Create();
      ASSERT_TRUE(handle);
      curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Discard);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(PerformTransfer(handle.get(), c.url, policy, limits), c.code) << c.mode;
      long status = 0;
      curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
      EXPECT_EQ(status, c.status) << c.mode;
      // A bound far from any speed: a stall that is not left would take
      // libcurl's own 300 s.
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4 * limits.connectTimeoutMs))
          << c.mode;
    }
    EXPECT_EQ(routing->ProxyFailed(proxy.Route().proxy), c.proxyFailed) << c.mode;
    EXPECT_EQ(routing->ProxyAuthFailed(), c.authFailed) << c.mode;
    EXPECT_EQ(proxy.Log().size(), c.logged) << c.mode;
  }
}

// A proxy entry with credentials: libcurl presents them to the proxy, which
// then forwards, and no line of the run shows the password.
TEST_F(ProxyThroughCurl, ProxyCredentialsReachTheProxyButNotTheLog) {
  struct FromList : ProxyRouting {
    explicit FromList(std::vector<ProxyServer> p) : proxies(std::move(p)) {}
    ProxyChoice ForUrl(const std::string&) override {
      ProxyChoice c;
      c.source = ProxySource::kManual;
      c.proxies = proxies;
      c.reason = "manual settings";
      return c;
    }
    std::vector<ProxyServer> proxies;
  };
  TestProxy proxy({"--mode", "auth", "--auth-user", "qvuser:s3cret", "--map", "*.corp.test=127.0.0.1"});
  ASSERT_GT(proxy.port(), 0);
  const std::vector<ProxyServer> servers =
      ProxiesForScheme("qvuser:s3cret@127.0.0.1:" + std::to_string(proxy.port()), "http");
  ASSERT_EQ(servers.size(), 1u);
  TransferPolicy policy;
  policy.routing = std::make_shared<FromList>(servers);
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& line) { lines.push_back(line); });
  CurlHandle handle = CurlHandle::Create();
  ASSERT_TRUE(handle);
  curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Discard);
  const int code = PerformTransfer(handle.get(), "http://api.corp.test:" + std::to_string(http_.port()) + "/hello",
                                   policy, TransferLimits());
  SetDebugSink(nullptr);
  EXPECT_EQ(code, CURLE_OK);
  long status = 0;
  curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
  EXPECT_EQ(status, 200);
  ASSERT_EQ(proxy.Log().size(), 1u);
  EXPECT_EQ(proxy.Log()[0].substr(proxy.Log()[0].rfind(' ') + 1), "forward");
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

}  // namespace
