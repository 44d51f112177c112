#include "app/launch_options.h"

#include "base/debug_output.h"
#include "net/http_client.h"

namespace {

void Forward(LaunchOptions& o, const std::wstring& arg) {
  if (!o.forwardedArgs.empty()) o.forwardedArgs += L' ';
  o.forwardedArgs += arg;
}

std::vector<std::wstring> SplitAtEquals(const std::wstring& arg) {
  std::vector<std::wstring> pieces;
  size_t from = 0;
  for (;;) {
    size_t eq = arg.find(L'=', from);
    if (eq == std::wstring::npos) {
      pieces.push_back(arg.substr(from));
      return pieces;
    }
    pieces.push_back(arg.substr(from, eq - from));
    from = eq + 1;
  }
}

// The value of a marker runs from `from` to the first "_" at or after it; with
// `exeEnds` a missing "_" lets the first ".exe" end it instead.
bool ValueAfter(const std::wstring& name, size_t from, bool exeEnds, std::wstring& value) {
  size_t end = name.find(L'_', from);
  if (end == std::wstring::npos && exeEnds) end = name.find(L".exe", from);
  if (end == std::wstring::npos) return false;
  value = name.substr(from, end - from);
  return true;
}

bool ScanPair(const std::wstring& name, const std::wstring& first, const std::wstring& second,
              std::wstring& firstValue, std::wstring& secondValue) {
  size_t a = name.find(first);
  size_t b = name.find(second);
  if (a == std::wstring::npos || b == std::wstring::npos || a >= b) return false;
  std::wstring v1, v2;
  if (!ValueAfter(name, a + first.size(), false, v1)) return false;
  if (!ValueAfter(name, b + second.size(), true, v2)) return false;
  firstValue = v1;
  secondValue = v2;
  return true;
}

}  // namespace

LaunchOptions ParseArguments(const std::vector<std::wstring>& args) {
  LaunchOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    // Flags of this first group are also handed on to the full installer.
    if (arg == L"-auto-start") o.autoStart = true;
    if (arg == L"-silent") o.silent = true;
    if (arg == L"-test") o.test = true;
    if (arg == L"-enable-http-proxy") o.transfer.debugProxy = true;
    if (arg == L"-launch-by-channel") o.launchedByChannel = true;

    if (arg == L"-install-path") {
      if (i + 1 < args.size()) o.installPath = args[++i];
      continue;
    }
    if (arg == L"-auto_install") {
      o.autoInstall = true;
      continue;
    }
    if (arg == L"-chenk_and_runing") {
      o.checkAndRunning = true;
      continue;
    }
    std::vector<std::wstring> pieces = SplitAtEquals(arg);
    if (pieces.size() == 2) {
      if (pieces[0] == L"-pipename") {
        o.pipeName = pieces[1];
        DebugOutW(o.pipeName);
      }
      if (pieces[0] == L"-ChannID") {
        o.channelId = pieces[1];
        continue;
      }
      if (pieces[0] == L"-third_type") {
        o.thirdType = pieces[1];
        continue;
      }
    }
    Forward(o, arg);
  }
  return o;
}

bool ScanChannelPair(const std::wstring& fileName, std::wstring& channelId, std::wstring& seoSourceId) {
  return ScanPair(fileName, L"_cid", L"_seosourceid", channelId, seoSourceId);
}

bool ScanPlatformPair(const std::wstring& fileName, std::wstring& platformId, std::wstring& aid) {
  return ScanPair(fileName, L"_platformid", L"_aid", platformId, aid);
}

void ApplyOwnFileName(const std::wstring& fileName, LaunchOptions& options) {
  std::wstring a, b;
  if (ScanChannelPair(fileName, a, b)) {
    options.channelId = a;
    options.seoSourceId = b;
  }
  if (ScanPlatformPair(fileName, a, b)) {
    options.platformId = a;
    options.aid = b;
  }
}
