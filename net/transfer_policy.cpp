#include "net/transfer_policy.h"

#include <cctype>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>

#include "base/debug_output.h"
#include "base/vendor.h"

const char kDebugProxy[] = "127.0.0.1:8888";

namespace {

constexpr long kMaxRedirects = 5;
const char kNoProxySettings[] = "no proxy configured";

void ApplyTls(CURL* handle, const TransferPolicy& policy) {
  // An unreachable revocation server (or an inspecting proxy or antivirus in
  // the way) must not fail the transfer; a certificate known to be revoked
  // still does. Only Schannel reads this; the other options stay off.
  curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  if (policy.debugProxy) {
    // The debugging proxy re-signs every site with its own certificate.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    return;
  }
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  const std::string& caFile = Vendor().caFile;
  if (!caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.c_str());
}

long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

// The limits of one route: the connect limit split per ConnectTimeoutForRoute,
// the whole-transfer limit less the time earlier routes took, and a proxy
// that is not the last route must answer within its connect limit (an http
// request forwarded to a stalled proxy is connected at once and then waits).
TransferLimits RouteLimits(const TransferLimits& limits, const ProxyRoute& route, long elapsedMs, bool lastRoute) {
  TransferLimits r = limits;
  r.connectTimeoutMs = ConnectTimeoutForRoute(limits.connectTimeoutMs, elapsedMs, lastRoute);
  if (limits.timeoutSeconds > 0) r.timeoutSeconds = std::max(limits.timeoutSeconds - elapsedMs / 1000, 1L);
  if (route.IsProxy() && !lastRoute) {
    const long answerSeconds = std::max(r.connectTimeoutMs / 1000, 1L);
    if (r.lowSpeedSeconds == 0 || r.lowSpeedSeconds > answerSeconds) r.lowSpeedSeconds = answerSeconds;
  }
  return r;
}

}  // namespace

ProxyChoice ProxyRouting::ForUrl(const std::string&) {
  ProxyChoice direct;
  direct.reason = kNoProxySettings;
  return direct;
}

void ProxyRouting::NoteProxyFailed(const ProxyServer& proxy) {
  std::lock_guard<std::mutex> hold(lock_);
  if (std::find(failed_.begin(), failed_.end(), proxy) == failed_.end()) failed_.push_back(proxy);
}

bool ProxyRouting::ProxyFailed(const ProxyServer& proxy) const {
  std::lock_guard<std::mutex> hold(lock_);
  return std::find(failed_.begin(), failed_.end(), proxy) != failed_.end();
}

void ProxyRouting::NoteProxyAuthFailure() {
  std::lock_guard<std::mutex> hold(lock_);
  authFailed_ = true;
}

bool ProxyRouting::ProxyAuthFailed() const {
  std::lock_guard<std::mutex> hold(lock_);
  return authFailed_;
}

std::vector<ProxyRoute> TransferRoutes(const TransferPolicy& policy, const std::string& url, std::string* why) {
  if (policy.debugProxy) {
    if (why) *why = "-enable-http-proxy";
    return PlanRoutes(ProxyChoice(), true);
  }
  if (!policy.routing) {
    if (why) *why = kNoProxySettings;
    return PlanRoutes(ProxyChoice(), false);
  }
  ProxyChoice choice = policy.routing->ForUrl(url);
  std::string skipped;
  auto failed = [&](const ProxyServer& proxy) {
    if (!policy.routing->ProxyFailed(proxy)) return false;
    skipped += "; skipped proxy " + proxy.HostPort() + ", it failed earlier";
    return true;
  };
  choice.proxies.erase(std::remove_if(choice.proxies.begin(), choice.proxies.end(), failed), choice.proxies.end());
  if (why) *why = (choice.reason.empty() ? std::string(kNoProxySettings) : choice.reason) + skipped;
  return PlanRoutes(choice, false);
}

void ApplyTransferPolicy(CURL* handle, const TransferPolicy& policy, const TransferLimits& limits,
                         const ProxyRoute& route) {
  if (!handle) return;
  // "" (not null) for direct: no proxy from the environment either, so the
  // policy alone decides the way.
  const std::string proxy = route.CurlProxy();
  curl_easy_setopt(handle, CURLOPT_PROXY, proxy.c_str());
  // A proxy's credentials go on their own, never inside the proxy's URL
  // (which the log shows); a route without them clears the last route's.
  const bool credentials = route.IsProxy() && !route.proxy.user.empty();
  curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, credentials ? route.proxy.user.c_str() : nullptr);
  curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, credentials ? route.proxy.password.c_str() : nullptr);
  ApplyTls(handle, policy);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, limits.followRedirects ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.timeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedSeconds > 0 ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds > 0 ? limits.lowSpeedSeconds : 0L);
}

int PerformOnRoutes(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits, const std::vector<ProxyRoute>& routes, const std::string& why) {
  if (!handle || routes.empty()) return CURLE_FAILED_INIT;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  // What was asked for over TLS stays on TLS: a redirect to plain http (a
  // downgrade anyone on the way could serve) ends the transfer instead.
  const bool secure = url.size() >= 8 && std::equal(url.begin(), url.begin() + 8, "https://", [](char a, char b) {
                        return std::tolower(static_cast<unsigned char>(a)) == b;
                      });
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  const auto start = std::chrono::steady_clock::now();
  const RouteRun run =
      TryRoutes(url, why.empty() ? std::string(kNoProxySettings) : why, routes,
                [&](const ProxyRoute& route, bool lastRoute) {
                  ApplyTransferPolicy(handle, policy, RouteLimits(limits, route, ElapsedMs(start), lastRoute), route);
                  RouteAttemptResult r;
                  r.curlCode = curl_easy_perform(handle);
                  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &r.httpCode);
                  curl_easy_getinfo(handle, CURLINFO_HTTP_CONNECTCODE, &r.connectCode);
                  curl_easy_getinfo(handle, CURLINFO_HEADER_SIZE, &r.headerBytes);
                  if (policy.routing && route.kind == ProxyRoute::Kind::kProxy &&
                      JudgeAttempt(route, r) == RouteVerdict::kProxyFailed)
                    policy.routing->NoteProxyFailed(route.proxy);
                  return r;
                });
  // Without a routing (tests, no settings to follow) a lone direct route
  // is no news; with one, every transfer says which way it went and why.
  if (policy.routing || run.attempts > 1 || run.route.IsProxy())
    for (const std::string& line : run.log) DebugOut("route: " + line);
  if (run.FailedForProxyAuth()) {
    DebugOut("route: " + url + " failed: the proxy " + run.authProxy.HostPort() +
             " needs authentication (407) and no other route worked");
    if (policy.routing) policy.routing->NoteProxyAuthFailure();
  }
  return run.attempts ? run.result.curlCode : CURLE_FAILED_INIT;
}

int PerformTransfer(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits) {
  std::string why;
  const std::vector<ProxyRoute> routes = TransferRoutes(policy, url, &why);
  return PerformOnRoutes(handle, url, policy, limits, routes, why);
}
