// Routes, the fallback rule and the route log as tables.
#include "net/proxy_route.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

ProxyRoute Proxy(const std::string& host, int port) {
  ProxyRoute r;
  r.kind = ProxyRoute::Kind::kProxy;
  r.proxy.host = host;
  r.proxy.port = port;
  return r;
}

std::string Describe(const std::vector<ProxyRoute>& routes) {
  std::string out;
  for (const auto& r : routes) out += (out.empty() ? "" : ", ") + r.Describe();
  return out;
}

TEST(ProxyRoute, RoutesInOrderAndTheDebuggingProxyAlone) {
  ProxyChoice two;
  two.proxies = {Proxy("a", 1).proxy, Proxy("b", 2).proxy, Proxy("a", 1).proxy};
  ProxyChoice none;
  struct Case {
    const char* name;
    const ProxyChoice& choice;
    bool debug;
    const char* expected;
  } cases[] = {
      {"proxies then direct, repeats once", two, false, "via proxy a:1, via proxy b:2, direct"},
      {"direct only", none, false, "direct"},
      {"debugging proxy wins", two, true, "via debugging proxy 127.0.0.1:8888"},
      {"debugging proxy without settings", none, true, "via debugging proxy 127.0.0.1:8888"},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(PlanRoutes(c.choice, c.debug)), c.expected) << c.name;

  auto routes = PlanRoutes(two, false);
  EXPECT_EQ(routes[0].CurlProxy(), "http://a:1");
  EXPECT_TRUE(routes[0].VerifyTls());
  EXPECT_EQ(routes.back().CurlProxy(), "");  // also keeps libcurl from reading proxy variables
  EXPECT_TRUE(routes.back().VerifyTls());
  ProxyRoute debug = PlanRoutes(none, true)[0];
  EXPECT_EQ(debug.CurlProxy(), "http://127.0.0.1:8888");
  EXPECT_FALSE(debug.VerifyTls());
}

TEST(ProxyRoute, WhenToLeaveARoute) {
  const ProxyRoute proxy = Proxy("p", 3128);
  const ProxyRoute direct;
  using V = RouteVerdict;
  struct Case {
    const char* name;
    const ProxyRoute& route;
    RouteAttemptResult r;  // curl code, http code, CONNECT code, header bytes
    V verdict;
  } cases[] = {
      {"success", proxy, {CURLE_OK, 200, 200, 120}, V::kDone},
      {"server's 404 through the proxy", proxy, {CURLE_OK, 404, 0, 90}, V::kDone},
      {"forwarded request answered 407", proxy, {CURLE_OK, 407, 0, 90}, V::kProxyAuthRequired},
      {"CONNECT answered 407", proxy, {CURLE_RECV_ERROR, 0, 407, 0}, V::kProxyAuthRequired},
      {"CONNECT answered 502", proxy, {CURLE_RECV_ERROR, 0, 502, 0}, V::kProxyFailed},
      {"CONNECT answered 403", proxy, {CURLE_RECV_ERROR, 0, 403, 0}, V::kProxyFailed},
      {"proxy name unknown", proxy, {CURLE_COULDNT_RESOLVE_PROXY, 0, 0, 0}, V::kProxyFailed},
      {"proxy port closed", proxy, {CURLE_COULDNT_CONNECT, 0, 0, 0}, V::kProxyFailed},
      {"SOCKS handshake", proxy, {CURLE_PROXY, 0, 0, 0}, V::kProxyFailed},
      {"proxy closed before answering CONNECT", proxy, {CURLE_RECV_ERROR, 0, 0, 0}, V::kProxyFailed},
      {"proxy stalled", proxy, {CURLE_OPERATION_TIMEDOUT, 0, 0, 0}, V::kProxyFailed},
      {"proxy closed a forwarded request", proxy, {CURLE_GOT_NOTHING, 0, 0, 0}, V::kProxyFailed},
      {"proxy reset while sending", proxy, {CURLE_SEND_ERROR, 0, 0, 0}, V::kProxyFailed},
      {"server stalled inside the tunnel", proxy, {CURLE_OPERATION_TIMEDOUT, 0, 200, 0}, V::kDone},
      {"server stalled mid-body", proxy, {CURLE_OPERATION_TIMEDOUT, 200, 0, 150}, V::kDone},
      {"certificate refused inside the tunnel", proxy, {CURLE_PEER_FAILED_VERIFICATION, 0, 200, 0}, V::kDone},
      {"host unknown behind a socks proxy", proxy, {CURLE_COULDNT_RESOLVE_HOST, 0, 0, 0}, V::kDone},
      {"direct never falls back", direct, {CURLE_COULDNT_CONNECT, 0, 0, 0}, V::kDone},
      {"direct 407 is the server's", direct, {CURLE_OK, 407, 0, 80}, V::kDone},
  };
  for (const Case& c : cases) EXPECT_EQ(JudgeAttempt(c.route, c.r), c.verdict) << c.name;
}

TEST(ProxyRoute, ConnectTimeOutsStayInsideTheLimit) {
  struct Case {
    long limit, elapsed;
    bool last;
    long expected;
  } cases[] = {
      {3000, 0, false, 1500},   // a proxy with direct behind it: half
      {3000, 1500, true, 1500}, // direct gets what is left
      {3000, 0, true, 3000},    // the only route: all
      {8000, 7000, false, 1000},
      {3000, 3500, true, 1},    // never 0 (libcurl's 300 s default)
      {1, 0, false, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ConnectTimeoutForRoute(c.limit, c.elapsed, c.last), c.expected)
        << c.limit << "/" << c.elapsed << "/" << c.last;
}

TEST(ProxyRoute, TryRoutesFallsBackAndNamesTheAuthenticatingProxy) {
  const RouteAttemptResult ok{CURLE_OK, 200, 0, 100};
  const RouteAttemptResult refused{CURLE_COULDNT_CONNECT, 0, 0, 0};
  const RouteAttemptResult stalled{CURLE_OPERATION_TIMEDOUT, 0, 0, 0};
  const RouteAttemptResult auth{CURLE_RECV_ERROR, 0, 407, 0};
  const RouteAttemptResult unresolved{CURLE_COULDNT_RESOLVE_HOST, 0, 0, 0};
  const RouteAttemptResult notFound{CURLE_OK, 404, 0, 100};
  const std::vector<ProxyRoute> routes = {Proxy("a", 1), Proxy("b", 2), ProxyRoute()};
  struct Case {
    const char* name;
    std::vector<RouteAttemptResult> results;  // per attempt, in order
    size_t attempts;
    RouteVerdict verdict;
    bool failedForAuth;
    std::vector<std::string> log;
  } cases[] = {
      {"first proxy works", {ok}, 1, RouteVerdict::kDone, false, {"U via proxy a:1 (why)"}},
      {"refused, stalled, then direct",
       {refused, stalled, ok},
       3,
       RouteVerdict::kDone,
       false,
       {"U via proxy a:1 (why)", "left via proxy a:1: the proxy refused the connection (curl 7); next route",
        "U via proxy b:2", "left via proxy b:2: the proxy did not answer in time (curl 28); next route",
        "U direct"}},
      {"server's 404 is final", {notFound}, 1, RouteVerdict::kDone, false, {"U via proxy a:1 (why)"}},
      {"auth asked, direct unreachable",
       {auth, refused, unresolved},
       3,
       RouteVerdict::kDone,
       true,
       {"U via proxy a:1 (why)", "left via proxy a:1: the proxy requires authentication (407); next route",
        "U via proxy b:2", "left via proxy b:2: the proxy refused the connection (curl 7); next route",
        "U direct"}},
      {"auth asked, direct works", {auth, refused, ok}, 3, RouteVerdict::kDone, false, {}},
  };
  for (const Case& c : cases) {
    size_t call = 0;
    std::vector<bool> lastFlags;
    RouteRun run = TryRoutes("U", "why", routes, [&](const ProxyRoute& route, bool last) {
      EXPECT_EQ(route.Describe(), routes[call].Describe()) << c.name;
      lastFlags.push_back(last);
      return c.results.at(call++);
    });
    EXPECT_EQ(run.attempts, c.attempts) << c.name;
    EXPECT_EQ(run.verdict, c.verdict) << c.name;
    EXPECT_EQ(run.FailedForProxyAuth(), c.failedForAuth) << c.name;
    if (!c.log.empty()) {
      EXPECT_EQ(run.log, c.log) << c.name;
    }
    EXPECT_EQ(lastFlags.back(), c.attempts == routes.size()) << c.name;
    if (c.failedForAuth) {
      EXPECT_EQ(run.authProxy.HostPort(), "a:1") << c.name;
    }
  }

  // The debugging proxy is the only route: a refusal there ends the transfer.
  RouteRun run = TryRoutes("U", "why", PlanRoutes(ProxyChoice(), true),
                           [&](const ProxyRoute&, bool last) {
                             EXPECT_TRUE(last);
                             return auth;
                           });
  EXPECT_EQ(run.attempts, 1u);
  EXPECT_TRUE(run.FailedForProxyAuth());
}

}  // namespace
