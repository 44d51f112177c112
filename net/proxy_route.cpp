#include "net/proxy_route.h"

#include <curl/curl.h>

#include <algorithm>

std::string ProxyRoute::Describe() const {
  switch (kind) {
    case Kind::kDirect:
      return "direct";
    case Kind::kProxy:
      return "via proxy " + proxy.HostPort();
    case Kind::kDebugProxy:
      return "via debugging proxy " + proxy.HostPort();
  }
  return "direct";
}

ProxyRoute DebugProxyRoute() {
  ProxyRoute route;
  route.kind = ProxyRoute::Kind::kDebugProxy;
  route.proxy.host = "127.0.0.1";
  route.proxy.port = 8888;
  return route;
}

std::vector<ProxyRoute> PlanRoutes(const ProxyChoice& choice, bool debugProxy) {
  if (debugProxy) return {DebugProxyRoute()};
  std::vector<ProxyRoute> routes;
  for (const ProxyServer& server : choice.proxies) {
    ProxyRoute route;
    route.kind = ProxyRoute::Kind::kProxy;
    route.proxy = server;
    // A list may name the same proxy twice (per scheme and for all): one try.
    if (std::none_of(routes.begin(), routes.end(), [&](const ProxyRoute& r) { return r.proxy == server; }))
      routes.push_back(route);
  }
  routes.push_back(ProxyRoute());
  return routes;
}

RouteVerdict JudgeAttempt(const ProxyRoute& route, const RouteAttemptResult& r) {
  if (!route.IsProxy()) return RouteVerdict::kDone;
  if (r.connectCode == 407) return RouteVerdict::kProxyAuthRequired;
  // A forwarded http request: 407 can only come from the proxy.
  if (r.curlCode == CURLE_OK) return r.httpCode == 407 ? RouteVerdict::kProxyAuthRequired : RouteVerdict::kDone;
  switch (r.curlCode) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PROXY:
      return RouteVerdict::kProxyFailed;
    case CURLE_RECV_ERROR:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
      if (r.connectCode != 0) {
        // The proxy answered CONNECT: a refusal unless the tunnel stood.
        return r.connectCode / 100 == 2 ? RouteVerdict::kDone : RouteVerdict::kProxyFailed;
      }
      return r.headerBytes == 0 ? RouteVerdict::kProxyFailed : RouteVerdict::kDone;
    default:
      return RouteVerdict::kDone;
  }
}

std::string DescribeLeaving(const ProxyRoute& route, RouteVerdict verdict, const RouteAttemptResult& r) {
  std::string why;
  if (verdict == RouteVerdict::kProxyAuthRequired) {
    why = "the proxy requires authentication (407)";
  } else if (r.connectCode != 0 && r.connectCode / 100 != 2) {
    why = "the proxy refused the tunnel (" + std::to_string(r.connectCode) + ")";
  } else {
    switch (r.curlCode) {
      case CURLE_COULDNT_RESOLVE_PROXY:
        why = "the proxy's name was not found";
        break;
      case CURLE_COULDNT_CONNECT:
        why = "the proxy refused the connection";
        break;
      case CURLE_OPERATION_TIMEDOUT:
        why = "the proxy did not answer in time";
        break;
      default:
        why = "the proxy closed the connection";
        break;
    }
    why += " (curl " + std::to_string(r.curlCode) + ")";
  }
  return "left " + route.Describe() + ": " + why;
}

long ConnectTimeoutForRoute(long limitMs, long elapsedMs, bool lastRoute) {
  long left = std::max(limitMs - std::max(elapsedMs, 0L), 1L);
  return lastRoute ? left : std::max(std::min(left, limitMs / 2), 1L);
}

bool RouteRun::FailedForProxyAuth() const {
  if (!authRequired) return false;
  // The last route asked itself, or a later route failed to connect at all.
  return verdict != RouteVerdict::kDone || result.curlCode != CURLE_OK;
}

RouteRun TryRoutes(const std::string& url, const std::string& why, const std::vector<ProxyRoute>& routes,
                   const std::function<RouteAttemptResult(const ProxyRoute& route, bool lastRoute)>& attempt) {
  RouteRun run;
  for (size_t i = 0; i < routes.size(); ++i) {
    const ProxyRoute& route = routes[i];
    bool last = i + 1 == routes.size();
    run.log.push_back(url + " " + route.Describe() + (i == 0 ? " (" + why + ")" : ""));
    run.route = route;
    run.result = attempt(route, last);
    ++run.attempts;
    run.verdict = JudgeAttempt(route, run.result);
    if (run.verdict == RouteVerdict::kDone) break;
    if (run.verdict == RouteVerdict::kProxyAuthRequired && !run.authRequired) {
      run.authRequired = true;
      run.authProxy = route.proxy;
    }
    run.log.push_back(DescribeLeaving(route, run.verdict, run.result) + (last ? "" : "; next route"));
  }
  return run;
}
