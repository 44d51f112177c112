// <windows.h> must come before the other system headers.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>
// clang-format on

#include <cwchar>

#include "base/win_handle.h"
#include "install/client_launch.h"
#include "install/registration.h"

namespace {
constexpr size_t kClientPathChars = 512;  // including the terminating zero
}  // namespace

DWORD FindProcessId(const std::wstring& exeName) {
  if (exeName.empty()) return 0;
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) return entry.th32ProcessID;
  }
  return 0;
}

void StopRunningClient() {
  DWORD pid = FindProcessId(kClientExeName);
  if (pid == 0) return;
  UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  if (process) TerminateProcess(process.get(), 0);
}

std::wstring ClientExecutablePath(const std::wstring& installFolder) {
  std::wstring path = installFolder + L"\\" + kClientExeName;
  if (path.size() >= kClientPathChars) return L"";
  return path;
}

bool StartClient(const std::wstring& installFolder) {
  std::wstring path = ClientExecutablePath(installFolder);
  if (path.empty()) return false;
  HINSTANCE result = ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}
