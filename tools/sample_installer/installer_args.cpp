#include "tools/sample_installer/installer_args.h"

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cwchar>

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix, std::wstring* rest = nullptr) {
  size_t n = std::wcslen(prefix);
  if (text.compare(0, n, prefix) != 0) return false;
  if (rest) *rest = text.substr(n);
  return true;
}

std::vector<std::wstring> SplitCommas(const std::wstring& text) {
  std::vector<std::wstring> parts;
  if (text.empty()) return parts;
  size_t from = 0;
  for (;;) {
    size_t comma = text.find(L',', from);
    parts.push_back(
        PercentDecode(text.substr(from, comma == std::wstring::npos ? std::wstring::npos : comma - from)));
    if (comma == std::wstring::npos) return parts;
    from = comma + 1;
  }
}

}  // namespace

std::wstring PercentDecode(const std::wstring& text) {
  std::string bytes;
  auto hex = [](wchar_t c) -> int {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
  };
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 2;
      continue;
    }
    if (!bytes.empty()) {
      int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
      std::wstring w(static_cast<size_t>(n), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
      out += w;
      bytes.clear();
    }
    out.push_back(text[i]);
  }
  if (!bytes.empty()) {
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    out += w;
  }
  return out;
}

InstallerArgs ParseInstallerArgs(const std::wstring& commandLine) {
  InstallerArgs a;
  a.commandLine = commandLine;

  // Cut the quoted folder out first; the rest is split the usual way.
  std::wstring rest = commandLine;
  const std::wstring marker = L"-install-path \"";
  size_t at = rest.find(marker);
  bool quotedPath = false;
  if (at != std::wstring::npos) {
    size_t close = rest.find(L'"', at + marker.size());
    if (close != std::wstring::npos) {
      a.installPath = rest.substr(at + marker.size(), close - at - marker.size());
      rest.erase(at, close + 1 - at);
      rest.insert(at, L" ");
      quotedPath = true;
    }
  }

  // The stub's command line begins with a blank, so the program-name part is
  // empty; CommandLineToArgvW may then return an empty first element (or, for
  // a line without arguments, the program's path). Only "-" arguments and
  // the value after a bare "-install-path" mean anything here.
  int argc = 0;
  std::wstring parsed = L"x " + rest;  // a program name of our own, dropped below
  LPWSTR* argv = CommandLineToArgvW(parsed.c_str(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);

  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    std::wstring value;
    a.tokens.push_back(arg);
    if (arg == L"-silent")
      a.silent = true;
    else if (arg == L"-auto-start")
      a.autoStart = true;
    else if (arg == L"-launch-by-channel")
      a.launchByChannel = true;
    else if (arg == L"-install-path" && !quotedPath && i + 1 < args.size())
      a.installPath = args[++i];
    else if (StartsWith(arg, L"-pipename=", &value))
      a.pipeName = value;
    else if (arg == L"-sample-fail")
      a.fail = true;
    else if (StartsWith(arg, L"-sample-fail=", &value))
      a.fail = true, a.failDetail = PercentDecode(value);
    else if (StartsWith(arg, L"-sample-failtext=", &value))
      a.failText = PercentDecode(value);
    else if (arg == L"-sample-noconnect")
      a.noConnect = true;
    else if (arg == L"-sample-joined")
      a.joined = true;
    else if (StartsWith(arg, L"-sample-slow=", &value))
      a.pauseMs = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    else if (StartsWith(arg, L"-sample-steps=", &value))
      a.stepsSet = true, a.steps = SplitCommas(value);
    else if (StartsWith(arg, L"-sample-exit=", &value))
      a.exitSet = true, a.exitCode = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    else if (StartsWith(arg, L"-sample-args-file=", &value))
      a.argsFile = PercentDecode(value);
  }
  if (a.pauseMs < 0) a.pauseMs = 0;
  return a;
}
