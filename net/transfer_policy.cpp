#include "net/transfer_policy.h"

#include <curl/curl.h>

#include "base/vendor.h"

const char kDebugProxy[] = "127.0.0.1:8888";

namespace {

constexpr long kMaxRedirects = 5;

void ApplyTls(CURL* handle, const TransferPolicy& policy) {
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

// A proxy that cannot be resolved or connected to has seen nothing of the
// request, so the next route may try it again.
bool RouteUnreachable(const TransferRoute& route, int code) {
  return !route.proxy.empty() && (code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_COULDNT_CONNECT);
}

}  // namespace

std::vector<TransferRoute> TransferRoutes(const TransferPolicy& policy, const TransferLimits& limits,
                                          const std::string& url) {
  if (policy.debugProxy && limits.proxyAllowed) return {TransferRoute{kDebugProxy}};
  return {TransferRoute{}};
}

void ApplyTransferPolicy(CURL* handle, const TransferPolicy& policy, const TransferLimits& limits,
                         const TransferRoute& route) {
  if (!handle) return;
  // Null restores libcurl's default, so a direct route behaves as a handle
  // that never had a proxy option.
  curl_easy_setopt(handle, CURLOPT_PROXY, route.proxy.empty() ? nullptr : route.proxy.c_str());
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
                    const TransferLimits& limits, const std::vector<TransferRoute>& routes) {
  if (!handle || routes.empty()) return CURLE_FAILED_INIT;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  int code = CURLE_FAILED_INIT;
  for (const TransferRoute& route : routes) {
    ApplyTransferPolicy(handle, policy, limits, route);
    code = curl_easy_perform(handle);
    if (!RouteUnreachable(route, code)) break;
  }
  return code;
}

int PerformTransfer(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits) {
  return PerformOnRoutes(handle, url, policy, limits, TransferRoutes(policy, limits, url));
}
