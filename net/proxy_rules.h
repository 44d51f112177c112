// The current user's proxy settings as Windows keeps them, and the rules that
// turn them into the proxies to use for one URL. Pure logic (no system calls),
// so it builds and is tested natively; net/system_proxy_win.h supplies the
// inputs on Windows.
#pragma once
#include <string>
#include <vector>

// The parts of a URL the rules look at: scheme and host lower-case, the host
// of an IPv6 literal without its brackets, the port explicit or the scheme's
// default (80 for http, 443 for https, 0 for other schemes).
struct UrlTarget {
  std::string scheme;
  std::string host;
  int port = 0;
};
// False (and `target` unspecified) for text without "scheme://host".
bool ParseUrlTarget(const std::string& url, UrlTarget& target);

// One proxy server. An HTTP proxy forwards http URLs and tunnels https ones
// with CONNECT; a SOCKS one (the "socks=" entry of the settings) is SOCKS 4.
// Credentials of an entry "user:password@host:port" are kept apart from the
// address: neither HostPort nor CurlProxy (what log lines show) carries them;
// the transfer hands them to libcurl on their own.
struct ProxyServer {
  std::string host;
  int port = 0;
  bool socks = false;
  std::string user{}, password{};  // as written in the entry; empty: none

  std::string HostPort() const;   // "host:port", "[::1]:port"
  std::string CurlProxy() const;  // "http://host:port" or "socks4://host:port", for CURLOPT_PROXY
  bool operator==(const ProxyServer& o) const {
    return host == o.host && port == o.port && socks == o.socks && user == o.user && password == o.password;
  }
};

// The proxies a WinHTTP proxy list gives for URLs of `scheme`, in the order
// listed. Entries are separated by ';' or blanks: "host:port" (every scheme),
// "scheme=host:port" (that scheme only; the value may carry "http://"), and
// "socks=host:port", used only when no entry names the scheme or all schemes.
// Any of these may start with "user:password@" (the credentials up to the
// last '@'). A missing port is 80 (1080 for socks). Malformed entries and
// "DIRECT" are skipped; an empty result means direct.
std::vector<ProxyServer> ProxiesForScheme(const std::string& proxyList, const std::string& scheme);

// True when `target` matches the bypass list. Entries are separated by ';',
// ',' or blanks and compared without regard to case:
//   "<local>"        a host name without a dot (not an IP literal)
//   "<-loopback>"    turns off the implicit loopback rule (below)
//   "*.corp.test", "10.*", "*intra*"   '*' matches any run of characters
//   ".corp.test"     the same as "*.corp.test"
//   "https://host", "host:8080"         the scheme or port must match as well
// Loopback targets ("localhost", 127.x.x.x, ::1) always bypass unless the list
// holds "<-loopback>": a proxy cannot reach this machine's loopback services.
bool BypassesProxy(const UrlTarget& target, const std::string& bypassList);

// The current user's settings as WinHttpGetIEProxyConfigForCurrentUser reports
// them (UTF-8). A manual proxy is in effect when `proxy` is not empty.
struct SystemProxySettings {
  bool autoDetect = false;    // "automatically detect settings" (WPAD)
  std::string autoConfigUrl;  // "use automatic configuration script"
  std::string proxy;          // e.g. "proxy:3128" or "http=h:p;https=h2:p2"
  std::string bypass;         // e.g. "*.corp.test;<local>"

  bool WantsAutoConfig() const { return autoDetect || !autoConfigUrl.empty(); }
};

// The automatic configuration's answer for one URL (WinHttpGetProxyForUrl).
struct AutoProxyAnswer {
  bool ok = false;
  unsigned long error = 0;  // the WinHTTP error when not ok
  std::string proxy;        // the proxy list; empty for DIRECT
  std::string bypass;
};

enum class ProxySource { kNone, kManual, kAutoConfig };

// The proxies chosen for one URL, and why (for the debugger/log).
struct ProxyChoice {
  ProxySource source = ProxySource::kNone;
  std::vector<ProxyServer> proxies;  // in order; empty: direct
  std::string reason;  // "manual settings", "bypass list", "automatic configuration: DIRECT", ...
};

// Chooses the proxies for `target`. When the settings ask for automatic
// configuration, `autoAnswer` is its answer for this URL (null when it could
// not be asked); a successful answer wins, a failed or missing one falls back
// to the manual settings, as Windows does.
ProxyChoice ChooseProxies(const SystemProxySettings& settings, const UrlTarget& target,
                          const AutoProxyAnswer* autoAnswer);
