// The one place that decides how a transfer reaches its server: which way
// (route), how TLS is checked, and the limits every transfer of the program
// shares. HttpClient, the segmented downloader and the ranking probe prepare
// their own request (URL, body sink, headers, progress) and leave the rest to
// ApplyTransferPolicy / PerformTransfer.
//
// The policy is a value the start-up code builds from the launch options and
// hands down; nothing here is process-wide. Its routing is asked once per URL
// for the proxies to use (net/proxy_rules.h); the routes are those proxies,
// then direct (net/proxy_route.h). TLS options belong in ApplyTransferPolicy
// only, so neither reaches the callers.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/proxy_route.h"

typedef void CURL;

// Where the proxies of one run come from, and what the run learnt about them.
// This base chooses none (every URL direct); on Windows the start-up code
// hands down one that follows the current user's settings. One object is
// shared by every transfer of the run, from any thread.
class ProxyRouting {
 public:
  virtual ~ProxyRouting() = default;
  // The proxies for `url`, in order, and why.
  virtual ProxyChoice ForUrl(const std::string& url);

  // A proxy that refused, was unreachable or did not answer is not tried
  // again in this run: each later transfer would lose its time-out to it.
  void NoteProxyFailed(const ProxyServer& proxy);
  bool ProxyFailed(const ProxyServer& proxy) const;

  // Some transfer failed because a proxy asked for credentials (and no
  // other route worked): the run's failure names that, not the download.
  void NoteProxyAuthFailure();
  bool ProxyAuthFailed() const;

 private:
  mutable std::mutex lock_;
  std::vector<ProxyServer> failed_;
  bool authFailed_ = false;
};

struct TransferPolicy {
  // "-enable-http-proxy": every transfer goes through the local debugging
  // proxy, which re-signs every site on purpose, whatever the system's
  // settings say. So this is also the one thing that switches certificate
  // verification off, for every transfer.
  bool debugProxy = false;
  // The run's proxy routing; null: every URL direct.
  std::shared_ptr<ProxyRouting> routing;
};

// What one kind of transfer asks for; the policy adds the rest.
struct TransferLimits {
  bool followRedirects = true;  // at most 5 redirects
  long connectTimeoutMs = 10000;
  long timeoutSeconds = 0;   // the whole transfer; 0: no limit
  long lowSpeedSeconds = 0;  // no byte for this long ends the transfer (code 28); 0: none
};

// The address of the debugging proxy.
extern const char kDebugProxy[];

// The routes to try for `url`, in order; never empty: the debugging proxy
// alone when the policy switches it on; else the routing's proxies (less those
// that failed earlier in the run), then direct. `why` (optional) receives the
// reason for the log.
std::vector<ProxyRoute> TransferRoutes(const TransferPolicy& policy, const std::string& url,
                                       std::string* why = nullptr);

// Sets every option the policy owns on `handle`: the route's proxy (none for
// direct, not even one from the environment), TLS verification (peer and host
// name against the system trust store, or Vendor().caFile when configured;
// off only with policy.debugProxy; certificate revocation checked where it
// can be reached), redirects, time limits and no signals. Sets them all on
// every call, so a reused handle carries nothing over from an earlier
// transfer. Null: no-op.
void ApplyTransferPolicy(CURL* handle, const TransferPolicy& policy, const TransferLimits& limits,
                         const ProxyRoute& route);

// Sets CURLOPT_URL = `url` and performs the prepared transfer along `routes`
// (TryRoutes): the next route is taken only when a proxy failed before any of
// the answer arrived, or asked for credentials. A proxy route that is not the
// last gets half of the connect limit, and no answer within that time ends it
// as well; later routes get what is left of the limits. Each route taken or
// left is a debugger line. Returns libcurl's code of the last perform;
// CURLE_FAILED_INIT for a null handle or no route.
int PerformOnRoutes(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits, const std::vector<ProxyRoute>& routes,
                    const std::string& why = std::string());

// PerformOnRoutes along TransferRoutes(policy, url).
int PerformTransfer(CURL* handle, const std::string& url, const TransferPolicy& policy,
                    const TransferLimits& limits);
