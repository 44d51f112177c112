// The one place that decides how a transfer reaches its server: which way
// (route), how TLS is checked, and the limits every transfer of the program
// shares. HttpClient, the segmented downloader and the ranking probe prepare
// their own request (URL, body sink, headers, progress) and leave the rest to
// ApplyTransferPolicy / PerformTransfer.
//
// The policy is a value the start-up code builds from the launch options and
// hands down; nothing here is process-wide. A route list (today one route)
// leaves room for proxies resolved per URL with a direct fallback, and TLS
// options belong in ApplyTransferPolicy only, so neither reaches the callers.
#pragma once
#include <string>
#include <vector>

typedef void CURL;

struct TransferPolicy {
  // "-enable-http-proxy": transfers that allow a proxy go through the local
  // debugging proxy, which re-signs every site on purpose. So this is also
  // the one thing that switches certificate verification off, for every
  // transfer (also the probe, which never uses the proxy).
  bool debugProxy = false;
};

// What one kind of transfer asks for; the policy adds the rest.
struct TransferLimits {
  bool followRedirects = true;  // at most 5 redirects
  long connectTimeoutMs = 10000;
  long timeoutSeconds = 0;   // the whole transfer; 0: no limit
  long lowSpeedSeconds = 0;  // no byte for this long ends the transfer (code 28); 0: none
  // False: never through a proxy the policy chooses. The ranking probe
  // measures the way to the domain itself.
  bool proxyAllowed = true;
};

// One way to the server: through `proxy` ("host:port"), or, when empty,
// without a proxy option (libcurl's own defaults apply, as they always have).
struct TransferRoute {
  std::string proxy;
};

// The address of the debugging proxy.
extern const char kDebugProxy[];

// The routes to try for `url`, in order; never empty. Today exactly one: the
// debugging proxy when the policy switches it on and the transfer allows it,
// else direct.
std::vector<TransferRoute> TransferRoutes(const TransferPolicy& policy, const TransferLimits& limits,
                                          const std::string& url);

// Sets every option the policy owns on `handle`: the route's proxy, TLS
// verification (peer and host name against the system trust store, or
// Vendor().caFile when configured; off only with policy.debugProxy),
// redirects, time limits and no signals. Sets them all on every call, so a
// reused handle carries nothing over from an earlier transfer. Null: no-op.
void ApplyTransferPolicy(CURL* handle, const TransferPolicy& policy, const TransferLimits& limits,
                         const TransferRoute& route);

// Sets CURLOPT_URL = `url` and performs the prepared transfer on the first of
// `routes`; the next route is taken only when a proxy route could not be
// reached (nothing of the answer has arrived then). Returns libcurl's code of
// the last perform; CURLE_FAILED_INIT for a null handle or no route.
int PerformOnRoutes(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits, const std::vector<TransferRoute>& routes);

// PerformOnRoutes along TransferRoutes(policy, limits, url).
int PerformTransfer(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits);
