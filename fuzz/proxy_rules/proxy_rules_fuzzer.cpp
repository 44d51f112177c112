// libFuzzer target: the proxy rules over the texts that come from outside (the
// registry's proxy and bypass lists, a configuration script's answer, URLs
// from the directory). Input: three lines, a URL, a proxy list and a bypass
// list; the rest of the input is one more bypass entry.
//
// Properties:
// - a URL that parses has a non-empty host, scheme and host in lower case,
//   and a port in 1..65535, or 0 for a scheme without a default port;
// - every proxy chosen for a scheme has a lower-case host without separators
//   and a port in 1..65535; HTTP and SOCKS proxies are never mixed, and the
//   libcurl form names its kind;
// - the bypass list only grows in effect: adding an entry never turns a
//   bypass off (unless the entry is "<-loopback>"), "*" bypasses every host,
//   and the host itself as an entry (with or without the URL's scheme and
//   port) bypasses it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/common/fuzz_support.h"
#include "net/proxy_rules.h"

namespace {

bool HasUpper(const std::string& s) {
  for (char c : s)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}

// Characters that end an entry of a proxy or bypass list.
bool HasSeparator(const std::string& s) { return s.find_first_of("; \t\r\n,") != std::string::npos; }

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void CheckProxies(const std::string& list, const std::string& scheme) {
  const std::vector<ProxyServer> proxies = ProxiesForScheme(list, scheme);
  for (const ProxyServer& p : proxies) {
    FUZZ_CHECK(!p.host.empty());
    FUZZ_CHECK(!HasUpper(p.host));
    FUZZ_CHECK(p.host.find_first_of("; \t\r\n") == std::string::npos);
    FUZZ_CHECK(p.port >= 1 && p.port <= 65535);
    FUZZ_CHECK(p.socks == proxies[0].socks);
    const std::string curl = p.CurlProxy();
    FUZZ_CHECK(curl.compare(0, p.socks ? 9 : 7, p.socks ? "socks4://" : "http://") == 0);
    FUZZ_CHECK(curl.size() > p.HostPort().size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const std::string url = in.Line(), proxyList = in.Line(), bypassList = in.Line(), extra = in.Rest();

  CheckProxies(proxyList, "http");
  CheckProxies(proxyList, "https");

  UrlTarget target;
  if (!ParseUrlTarget(url, target)) return 0;
  FUZZ_CHECK(!target.host.empty());
  FUZZ_CHECK(!HasUpper(target.scheme) && !HasUpper(target.host));
  FUZZ_CHECK(target.port >= 0 && target.port <= 65535);
  FUZZ_CHECK(target.port != 0 || (target.scheme != "http" && target.scheme != "https"));
  CheckProxies(proxyList, target.scheme);

  const bool bypassed = BypassesProxy(target, bypassList);
  if (bypassed && Lower(extra) != "<-loopback>" && !HasSeparator(extra))
    FUZZ_CHECK(BypassesProxy(target, bypassList + ";" + extra));
  FUZZ_CHECK(BypassesProxy(target, bypassList + ";*"));
  // (A host spelled as a keyword of the list is read as the keyword.)
  if (!HasSeparator(target.host) && target.host.find_first_of("*[]") == std::string::npos &&
      target.host.find("://") == std::string::npos && target.host != "<-loopback>" && target.host != "<local>") {
    const std::string host = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    FUZZ_CHECK(BypassesProxy(target, bypassList + ";" + host));
    if (target.port != 0 && !HasSeparator(target.scheme))
      FUZZ_CHECK(BypassesProxy(target, bypassList + ";" + target.scheme + "://" + host + ":" +
                                           std::to_string(target.port)));
  }
  return 0;
}
