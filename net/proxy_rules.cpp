#include "net/proxy_rules.h"

#include <cctype>
#include <cstdlib>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsSeparator(char c, bool commaToo) {
  return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || (commaToo && c == ',');
}

std::vector<std::string> Tokens(const std::string& text, bool commaToo) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i], commaToo)) ++i;
    size_t start = i;
    while (i < text.size() && !IsSeparator(text[i], commaToo)) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

// "1".."65535" only.
int ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return 0;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  int port = std::atoi(text.c_str());
  return port <= 65535 ? port : 0;
}

// Splits "host", "host:port", "[v6]", "[v6]:port". `port` stays 0 when absent;
// false when a port is present but malformed.
bool SplitHostPort(const std::string& text, std::string& host, int& port) {
  port = 0;
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
    if (!rest.empty()) rest.erase(0, 1);
    else return true;
  } else {
    size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) != std::string::npos) {
      host = text;  // a bare IPv6 literal: no port
      return true;
    }
    host = text.substr(0, colon);
    if (colon == std::string::npos) return true;
    rest = text.substr(colon + 1);
  }
  port = ParsePort(rest);
  return port != 0;
}

int DefaultPort(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return 0;
}

// '*' matches any run of characters (dots included); everything else itself.
bool Glob(const char* pattern, const char* text) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*text) {
    if (*pattern == '*') {
      star = pattern++;
      resume = text;
    } else if (*pattern == *text) {
      ++pattern;
      ++text;
    } else if (star) {
      pattern = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool IsIpLiteral(const std::string& host) {
  if (host.find(':') != std::string::npos) return true;
  if (host.empty()) return false;
  for (char c : host)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return false;
  return true;
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  return host.compare(0, 4, "127.") == 0 && IsIpLiteral(host);
}

bool MatchesEntry(const UrlTarget& target, std::string entry) {
  std::string scheme;
  size_t sep = entry.find("://");
  if (sep != std::string::npos) {
    scheme = entry.substr(0, sep);
    entry.erase(0, sep + 3);
  }
  if (!scheme.empty() && scheme != target.scheme) return false;
  std::string host;
  int port = 0;
  if (!SplitHostPort(entry, host, port) || host.empty()) return false;
  if (port != 0 && port != target.port) return false;
  if (host[0] == '.') host.insert(0, "*");
  return Glob(host.c_str(), target.host.c_str());
}

}  // namespace

bool ParseUrlTarget(const std::string& url, UrlTarget& target) {
  size_t sep = url.find("://");
  if (sep == std::string::npos || sep == 0) return false;
  target.scheme = Lower(url.substr(0, sep));
  size_t start = sep + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  int port = 0;
  if (!SplitHostPort(authority, target.host, port) || target.host.empty()) return false;
  target.host = Lower(target.host);
  target.port = port ? port : DefaultPort(target.scheme);
  return true;
}

std::string ProxyServer::HostPort() const {
  std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return h + ":" + std::to_string(port);
}

std::string ProxyServer::CurlProxy() const { return (socks ? "socks4://" : "http://") + HostPort(); }

std::vector<ProxyServer> ProxiesForScheme(const std::string& proxyList, const std::string& scheme) {
  std::vector<ProxyServer> matching, socks;
  const std::string wanted = Lower(scheme);
  for (const std::string& token : Tokens(proxyList, false)) {
    std::string entryScheme, value = token;
    size_t eq = token.find('=');
    if (eq != std::string::npos) {
      entryScheme = Lower(token.substr(0, eq));
      value = token.substr(eq + 1);
    }
    if (Lower(value) == "direct") continue;
    size_t sep = value.find("://");
    if (sep != std::string::npos) value.erase(0, sep + 3);
    while (!value.empty() && value.back() == '/') value.pop_back();
    ProxyServer server;
    // Credentials first: "user:pass@host:port" has two colons and would
    // otherwise read as an IPv6 literal, password and all.
    const size_t at = value.rfind('@');
    if (at != std::string::npos) {
      const std::string credentials = value.substr(0, at);
      value.erase(0, at + 1);
      const size_t colon = credentials.find(':');
      server.user = credentials.substr(0, colon);
      if (colon != std::string::npos) server.password = credentials.substr(colon + 1);
      if (server.user.empty()) continue;
    }
    int port = 0;
    if (!SplitHostPort(value, server.host, port) || server.host.empty()) continue;
    server.host = Lower(server.host);
    if (entryScheme == "socks") {
      server.socks = true;
      server.port = port ? port : 1080;
      socks.push_back(server);
    } else if (entryScheme.empty() || entryScheme == wanted) {
      server.port = port ? port : 80;
      matching.push_back(server);
    }
  }
  return matching.empty() ? socks : matching;
}

bool BypassesProxy(const UrlTarget& target, const std::string& bypassList) {
  bool loopbackRule = true;
  bool match = false;
  for (const std::string& raw : Tokens(bypassList, true)) {
    std::string entry = Lower(raw);
    if (entry == "<-loopback>") {
      loopbackRule = false;
    } else if (entry == "<local>") {
      if (target.host.find('.') == std::string::npos && !IsIpLiteral(target.host)) match = true;
    } else if (MatchesEntry(target, entry)) {
      match = true;
    }
  }
  return match || (loopbackRule && IsLoopback(target.host));
}

ProxyChoice ChooseProxies(const SystemProxySettings& settings, const UrlTarget& target,
                          const AutoProxyAnswer* autoAnswer) {
  ProxyChoice choice;
  std::string fallbackNote;
  if (settings.WantsAutoConfig()) {
    if (autoAnswer && autoAnswer->ok) {
      choice.source = ProxySource::kAutoConfig;
      // The script decides about loopback itself: no implicit rule here.
      if (!autoAnswer->bypass.empty() && BypassesProxy(target, autoAnswer->bypass + ";<-loopback>")) {
        choice.reason = "automatic configuration: bypass list";
        return choice;
      }
      choice.proxies = ProxiesForScheme(autoAnswer->proxy, target.scheme);
      choice.reason = choice.proxies.empty() ? "automatic configuration: DIRECT" : "automatic configuration";
      return choice;
    }
    fallbackNote = autoAnswer ? "automatic configuration failed (error " + std::to_string(autoAnswer->error) + "), "
                              : "automatic configuration unavailable, ";
  }
  if (settings.proxy.empty()) {
    choice.reason = fallbackNote + "no proxy configured";
    return choice;
  }
  choice.source = ProxySource::kManual;
  if (BypassesProxy(target, settings.bypass)) {
    choice.reason = fallbackNote + "bypass list";
    return choice;
  }
  choice.proxies = ProxiesForScheme(settings.proxy, target.scheme);
  choice.reason = fallbackNote + (choice.proxies.empty() ? "no proxy for " + target.scheme : "manual settings");
  return choice;
}
