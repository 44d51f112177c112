// A stand-in for the installed client, used by the client-launch tests.
//
// Without arguments it leaves the file "started.mark" beside itself, holding
// its full command line (UTF-16), and ends with 0: the sign that it was
// started. With "-stay" it just waits and ends by itself with exit code 3
// after two minutes, so a test can tell a termination (exit code 0) from a
// natural end and a forgotten instance never lingers.
#include <windows.h>

#include <cwchar>
#include <string>

#include "base/win_handle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && wcscmp(argv[1], L"-stay") == 0) {
    Sleep(120 * 1000);
    return 3;
  }
  wchar_t self[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::wstring mark(self);
  mark.erase(mark.find_last_of(L'\\') + 1);
  mark += L"started.mark";
  // Write to a temporary name first so a reader never sees a half-written mark.
  std::wstring partial = mark + L".part";
  UniqueHandle file(
      CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 2;
  const wchar_t* line = GetCommandLineW();
  DWORD written = 0;
  WriteFile(file.get(), line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &written, nullptr);
  file.reset();  // closed before it is renamed
  return MoveFileExW(partial.c_str(), mark.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
}
