// The current user's proxy settings on Windows, read and resolved with
// WinHTTP's own functions (WinHttpGetIEProxyConfigForCurrentUser, and
// WinHttpGetProxyForUrl for automatic detection or a configuration script),
// decided once per run and cached. Windows build only.
#pragma once
#include <map>
#include <mutex>
#include <string>

#include "net/proxy_rules.h"

class SystemProxyResolver {
 public:
  // Reads the current user's settings; without any (or when they cannot be
  // read) every URL goes direct. Opens no connection.
  SystemProxyResolver();
  ~SystemProxyResolver();
  SystemProxyResolver(const SystemProxyResolver&) = delete;
  SystemProxyResolver& operator=(const SystemProxyResolver&) = delete;

  const SystemProxySettings& Settings() const { return settings_; }

  // The proxies for `url` (then direct, see PlanRoutes). Safe to call from
  // several threads; callers wait while another resolves. The automatic
  // configuration is asked at most once per scheme, host and port in a run,
  // through one WinHTTP session kept for the run, and not asked again once it
  // failed (a missing detection server or script would cost seconds each
  // time): the manual settings apply from then on.
  ProxyChoice ForUrl(const std::string& url);

 private:
  AutoProxyAnswer AskAutoConfig(const std::string& url);

  SystemProxySettings settings_;
  std::mutex lock_;
  void* session_ = nullptr;  // HINTERNET, opened on first need
  bool autoFailed_ = false;
  AutoProxyAnswer autoFailure_;
  std::map<std::string, ProxyChoice> cache_;  // by "scheme://host:port"
};

#include "net/transfer_policy.h"

// The routing of a run that follows the current user's settings; the start-up
// code creates one per run and hands it down in the TransferPolicy.
class SystemProxyRouting : public ProxyRouting {
 public:
  ProxyChoice ForUrl(const std::string& url) override { return resolver_.ForUrl(url); }
  const SystemProxySettings& Settings() const { return resolver_.Settings(); }

 private:
  SystemProxyResolver resolver_;
};
