// libFuzzer target: the argument walk and the two file-name scanners.
// Input: lines; every line but the last is one argument, the last one is the
// executable's file name.
//
// Properties:
// - the walk is a stable round trip: the options written back as arguments
//   (the consumed ones, then the forwarded ones) walk to the same options;
// - "-enable-http-proxy" switches the proxy on (unless it is the value of
//   "-install-path"), and nothing else does;
// - a scanner that succeeds read each value from right after its marker up
//   to the terminator the marker requires; one that fails changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/launch_options.h"
#include "fuzz/common/fuzz_support.h"
#include "net/http_client.h"

namespace {

void CheckSame(const LaunchOptions& a, const LaunchOptions& b) {
  FUZZ_CHECK(a.installPath == b.installPath);
  FUZZ_CHECK(a.autoStart == b.autoStart);
  FUZZ_CHECK(a.silent == b.silent);
  FUZZ_CHECK(a.autoInstall == b.autoInstall);
  FUZZ_CHECK(a.checkAndRunning == b.checkAndRunning);
  FUZZ_CHECK(a.channelId == b.channelId);
  FUZZ_CHECK(a.thirdType == b.thirdType);
  FUZZ_CHECK(a.forwardedArgs == b.forwardedArgs);
  FUZZ_CHECK(a.pipeName == b.pipeName);
  FUZZ_CHECK(a.test == b.test);
  FUZZ_CHECK(a.launchedByChannel == b.launchedByChannel);
}

// The forwarded text cut back into arguments (valid when no forwarded
// argument holds a blank).
std::vector<std::wstring> SplitAtBlanks(const std::wstring& text) {
  std::vector<std::wstring> args;
  if (text.empty()) return args;
  size_t from = 0;
  for (;;) {
    const size_t blank = text.find(L' ', from);
    args.push_back(text.substr(from, blank == std::wstring::npos ? std::wstring::npos : blank - from));
    if (blank == std::wstring::npos) return args;
    from = blank + 1;
  }
}

std::vector<std::wstring> WriteBack(const LaunchOptions& o) {
  std::vector<std::wstring> args;
  if (!o.installPath.empty()) {
    args.push_back(L"-install-path");
    args.push_back(o.installPath);
  }
  if (o.autoInstall) args.push_back(L"-auto_install");
  if (o.checkAndRunning) args.push_back(L"-chenk_and_runing");
  if (!o.channelId.empty()) args.push_back(L"-ChannID=" + o.channelId);
  if (!o.thirdType.empty()) args.push_back(L"-third_type=" + o.thirdType);
  for (const std::wstring& a : SplitAtBlanks(o.forwardedArgs)) args.push_back(a);
  return args;
}

// `value` stands in `name` right after the first `marker` and is followed by
// "_" (or, where allowed, by ".exe"), with no "_" inside.
void CheckScanned(const std::wstring& name, const std::wstring& marker, const std::wstring& value,
                  bool exeEnds) {
  const size_t at = name.find(marker);
  FUZZ_CHECK(at != std::wstring::npos);
  const size_t from = at + marker.size();
  FUZZ_CHECK(name.compare(from, value.size(), value) == 0);
  FUZZ_CHECK(value.find(L'_') == std::wstring::npos);
  const size_t end = from + value.size();
  const bool underscore = end < name.size() && name[end] == L'_';
  FUZZ_CHECK(underscore || (exeEnds && name.compare(end, 4, L".exe") == 0));
}

void CheckScanner(bool (*scan)(const std::wstring&, std::wstring&, std::wstring&), const std::wstring& name,
                  const std::wstring& first, const std::wstring& second) {
  std::wstring a = L"\x1<unchanged>", b = a;
  if (scan(name, a, b)) {
    FUZZ_CHECK(name.find(first) < name.find(second));
    CheckScanned(name, first, a, false);
    CheckScanned(name, second, b, true);
  } else {
    FUZZ_CHECK(a == L"\x1<unchanged>" && b == a);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::wstring> args;
  for (const std::string& line : fuzz::Lines(data, size)) args.push_back(fuzz::Wide(line));
  std::wstring fileName;
  if (!args.empty()) {
    fileName = args.back();
    args.pop_back();
  }

  const LaunchOptions o = ParseArguments(args);
  bool proxy = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"-install-path") ++i;  // its value is a folder, whatever it says
    else proxy = proxy || args[i] == L"-enable-http-proxy";
  }
  FUZZ_CHECK(o.transfer.debugProxy == proxy);

  // A forwarded argument with a blank cannot be told apart in the joined
  // text; such walks are not written back.
  bool blankForwarded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"-install-path") {
      ++i;  // its value is never forwarded
      continue;
    }
    blankForwarded = blankForwarded || args[i].find(L' ') != std::wstring::npos;
  }
  if (!blankForwarded) {
    const LaunchOptions again = ParseArguments(WriteBack(o));
    CheckSame(o, again);
  }

  CheckScanner(ScanChannelPair, fileName, L"_cid", L"_seosourceid");
  CheckScanner(ScanPlatformPair, fileName, L"_platformid", L"_aid");

  // The file name replaces a pair only when its scanner succeeds.
  LaunchOptions applied = o;
  ApplyOwnFileName(fileName, applied);
  std::wstring a, b;
  if (!ScanChannelPair(fileName, a, b)) FUZZ_CHECK(applied.channelId == o.channelId);
  if (!ScanPlatformPair(fileName, a, b)) FUZZ_CHECK(applied.platformId == o.platformId && applied.aid == o.aid);
  FUZZ_CHECK(applied.forwardedArgs == o.forwardedArgs && applied.installPath == o.installPath);
  return 0;
}
