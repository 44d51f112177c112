// The routes one transfer may take (proxies, then direct), the rule that says
// when to leave a route for the next one, and the debugger/log lines about
// them. Pure logic: the caller performs each attempt.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "net/proxy_rules.h"

// One way to reach a server.
struct ProxyRoute {
  enum class Kind { kDirect, kProxy, kDebugProxy };
  Kind kind = Kind::kDirect;
  ProxyServer proxy;  // for kProxy and kDebugProxy

  bool IsProxy() const { return kind != Kind::kDirect; }
  // The value for CURLOPT_PROXY. "" for direct: it also stops libcurl from
  // taking a proxy from the environment, so set it on every attempt.
  std::string CurlProxy() const { return IsProxy() ? proxy.CurlProxy() : std::string(); }
  // Only the debugging proxy, which re-signs every site, turns TLS
  // verification off.
  bool VerifyTls() const { return kind != Kind::kDebugProxy; }
  // "direct", "via proxy host:port", "via debugging proxy 127.0.0.1:8888".
  std::string Describe() const;
};

// The local debugging proxy of "-enable-http-proxy".
ProxyRoute DebugProxyRoute();

// The routes for one URL, in the order to try them: with `debugProxy` the
// debugging proxy alone (it wins over every setting); otherwise the chosen
// proxies, then direct.
std::vector<ProxyRoute> PlanRoutes(const ProxyChoice& choice, bool debugProxy);

// What libcurl reported for one attempt.
struct RouteAttemptResult {
  int curlCode = 0;        // CURLcode
  long httpCode = 0;       // CURLINFO_RESPONSE_CODE
  long connectCode = 0;    // CURLINFO_HTTP_CONNECTCODE: the proxy's answer to CONNECT
  long headerBytes = 0;    // CURLINFO_HEADER_SIZE: 0 when no answer arrived at all
};

enum class RouteVerdict {
  kDone,               // the attempt's result stands (success or a failure of the server)
  kProxyFailed,        // the proxy refused, was unreachable or did not answer: try the next route
  kProxyAuthRequired,  // the proxy asks for authentication (407): try the next route, report it if all fail
};

// Judges one attempt on `route`. A direct attempt is always kDone. Through a
// proxy (libcurl 7.88):
//   5 (proxy name unresolved), 7 (no connection to the proxy), 97 (SOCKS
//   handshake)                                            -> kProxyFailed
//   407 as the CONNECT answer (libcurl then returns 56), or as the answer to a
//   forwarded http request                                -> kProxyAuthRequired
//   another non-2xx CONNECT answer (56)                   -> kProxyFailed
//   28, 52, 55, 56 before any answer (no CONNECT answer, no header bytes): the
//   proxy closed or stalled                               -> kProxyFailed
// Anything else (including every failure after a tunnel was established) is
// the server's answer: kDone.
RouteVerdict JudgeAttempt(const ProxyRoute& route, const RouteAttemptResult& result);

// "left via proxy h:p: the proxy refused the connection (curl 7)" and the like.
std::string DescribeLeaving(const ProxyRoute& route, RouteVerdict verdict, const RouteAttemptResult& result);

// Connect time-out for the next attempt, in milliseconds (never 0, which
// libcurl reads as its own default of 300 s). Every route but the last gets
// at most half of `limitMs`, so a proxy that stalls leaves the later routes
// time within the transfer's existing limit; the last route gets all that is
// left. `elapsedMs`: time the earlier attempts of this transfer took.
long ConnectTimeoutForRoute(long limitMs, long elapsedMs, bool lastRoute);

// The attempts of one transfer across its routes.
struct RouteRun {
  size_t attempts = 0;           // routes tried
  ProxyRoute route;              // the route of the last attempt
  RouteAttemptResult result;     // the last attempt's result
  RouteVerdict verdict = RouteVerdict::kDone;
  bool authRequired = false;     // some proxy asked for authentication
  ProxyServer authProxy;         // the first such proxy
  std::vector<std::string> log;  // one line per route taken or left

  // True when the transfer failed and a proxy that asked for authentication
  // is the reason to name: the failure text and the log say so.
  bool FailedForProxyAuth() const;
};

// Tries `routes` in order with `attempt` until a verdict is kDone or none is
// left. `attempt(route, lastRoute)` configures the handle for the route
// (CURLOPT_PROXY = route.CurlProxy(), TLS per route.VerifyTls(), the connect
// time-out from ConnectTimeoutForRoute) and performs the transfer. `url` only
// labels the log lines; `why` is the choice's reason.
RouteRun TryRoutes(const std::string& url, const std::string& why, const std::vector<ProxyRoute>& routes,
                   const std::function<RouteAttemptResult(const ProxyRoute& route, bool lastRoute)>& attempt);
