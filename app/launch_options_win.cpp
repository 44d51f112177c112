#include <windows.h>
#include <shellapi.h>

#include "app/launch_options.h"

namespace {
// The running executable's full path (GetModuleFileNameW, growing the buffer).
std::wstring ModulePath(DWORD firstCapacity) {
  std::wstring path(firstCapacity, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}
}  // namespace

LaunchOptions ParseCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  int count = 0;
  // An empty command line gives one argument: the program's own full path.
  LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
  if (argv) {
    for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
  }
  return ParseArguments(args);
}

std::wstring OwnFileName() {
  // The file name is read from a 260-unit buffer, like every other path of the
  // start-up; a longer module path still yields its tail correctly.
  std::wstring path = ModulePath(260);
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
