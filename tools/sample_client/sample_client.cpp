// The sample client "Quorvane.exe": a windowless program that tests can see
// running. On start it appends "started <pid> <command line>" to
// "client_started.txt" in QV_SAMPLE_CLIENT_DIR, or next to itself when that is
// unset, and then stays alive: 10 seconds by default, "-sample-stay=<ms>" for
// another time, "-sample-stay=forever" until it is terminated.
#include <windows.h>

#include <cwchar>
#include <iterator>
#include <string>

#include "base/text_convert.h"
#include "base/win_handle.h"

namespace {

std::wstring OwnFolder() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring commandLine = GetCommandLineW();
  DWORD stayMs = 10000;
  size_t at = commandLine.find(L"-sample-stay=");
  if (at != std::wstring::npos) {
    const wchar_t* value = commandLine.c_str() + at + 13;
    stayMs = std::wcsncmp(value, L"forever", 7) == 0 ? INFINITE
                                                     : static_cast<DWORD>(std::wcstoul(value, nullptr, 10));
  }

  wchar_t dir[MAX_PATH * 4] = {};
  DWORD n = GetEnvironmentVariableW(L"QV_SAMPLE_CLIENT_DIR", dir, static_cast<DWORD>(std::size(dir)));
  std::wstring folder = n > 0 && n < std::size(dir) ? std::wstring(dir, n) : OwnFolder();
  std::string line = "started " + std::to_string(GetCurrentProcessId()) + " " + WideToUtf8(commandLine) + "\r\n";
  // One appending write, so a reader never sees half a line and several
  // starts leave one line each.
  UniqueHandle file(CreateFileW((folder + L"\\client_started.txt").c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  file.reset();
  Sleep(stayMs);
  return 0;
}
