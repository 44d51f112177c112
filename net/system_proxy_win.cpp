#include "net/system_proxy_win.h"

#include <windows.h>
#include <winhttp.h>

#include "base/text_convert.h"

namespace {

// Takes over a string WinHTTP allocated with GlobalAlloc.
std::string TakeString(LPWSTR text) {
  if (!text) return std::string();
  std::string utf8 = WideToUtf8(text);
  GlobalFree(text);
  return utf8;
}

// Time limits of the script download (per step), so that a configured but
// unreachable script cannot hold the first transfer for long.
const int kAutoConfigTimeoutMs = 5000;

}  // namespace

SystemProxyResolver::SystemProxyResolver() {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return;
  settings_.autoDetect = config.fAutoDetect != FALSE;
  settings_.autoConfigUrl = TakeString(config.lpszAutoConfigUrl);
  settings_.proxy = TakeString(config.lpszProxy);
  settings_.bypass = TakeString(config.lpszProxyBypass);
}

SystemProxyResolver::~SystemProxyResolver() {
  if (session_) WinHttpCloseHandle(static_cast<HINTERNET>(session_));
}

AutoProxyAnswer SystemProxyResolver::AskAutoConfig(const std::string& url) {
  AutoProxyAnswer answer;
  if (!session_) {
    HINTERNET session = WinHttpOpen(L"Quorvane", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) {
      answer.error = GetLastError();
      return answer;
    }
    WinHttpSetTimeouts(session, kAutoConfigTimeoutMs, kAutoConfigTimeoutMs, kAutoConfigTimeoutMs,
                       kAutoConfigTimeoutMs);
    session_ = session;
  }
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  std::wstring scriptUrl = Utf8ToWide(settings_.autoConfigUrl);
  if (settings_.autoDetect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (!scriptUrl.empty()) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = scriptUrl.c_str();
  }
  std::wstring target = Utf8ToWide(url);
  WINHTTP_PROXY_INFO info = {};
  BOOL ok = WinHttpGetProxyForUrl(static_cast<HINTERNET>(session_), target.c_str(), &options, &info);
  if (!ok && GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
    // The script's server wants the user's Windows credentials.
    options.fAutoLogonIfChallenged = TRUE;
    ok = WinHttpGetProxyForUrl(static_cast<HINTERNET>(session_), target.c_str(), &options, &info);
  }
  if (!ok) {
    answer.error = GetLastError();
    return answer;
  }
  answer.ok = true;
  answer.proxy = TakeString(info.lpszProxy);
  answer.bypass = TakeString(info.lpszProxyBypass);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY) answer.proxy.clear();
  return answer;
}

ProxyChoice SystemProxyResolver::ForUrl(const std::string& url) {
  UrlTarget target;
  if (!ParseUrlTarget(url, target)) {
    ProxyChoice direct;
    direct.reason = "not a URL";
    return direct;
  }
  std::lock_guard<std::mutex> hold(lock_);
  const std::string key = target.scheme + "://" + target.host + ":" + std::to_string(target.port);
  auto cached = cache_.find(key);
  if (cached != cache_.end()) return cached->second;

  AutoProxyAnswer answer;
  const AutoProxyAnswer* asked = nullptr;
  if (settings_.WantsAutoConfig()) {
    if (!autoFailed_) {
      answer = AskAutoConfig(url);
      if (!answer.ok) {
        autoFailed_ = true;
        autoFailure_ = answer;
      }
    } else {
      answer = autoFailure_;
    }
    asked = &answer;
  }
  ProxyChoice choice = ChooseProxies(settings_, target, asked);
  cache_.emplace(key, choice);
  return choice;
}
