// Small helpers for tests that run under Wine against the real registry,
// file system and processes (Windows build only).
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

#include "base/win_handle.h"

namespace testsupport {

// The folder of the running test executable, with a trailing "\".
inline std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, n);
  return text.substr(0, text.find_last_of(L'\\') + 1);
}

inline bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A new, empty folder below the temporary folder; `tag` may hold blanks.
inline std::wstring MakeTempFolder(const std::wstring& tag) {
  static unsigned counter = 0;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"qvreg-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++counter) + L" " + tag;
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// Deletes a folder and everything below it.
inline void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// Runs a command line, collecting what it writes to its standard output.
// Returns the exit code, or -1 when it cannot be started or does not end
// within a minute (then it is terminated).
inline int RunAndCapture(const std::wstring& commandLine, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  UniqueHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return -1;
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                nullptr, &startup, &process);
  // Only the child holds the write end now: reading ends when it does.
  writeEnd.reset();
  if (!started) return -1;
  UniqueHandle thread(process.hThread), child(process.hProcess);
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(readEnd.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
    if (output) output->append(chunk, got);
  }
  readEnd.reset();
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(child.get(), 60 * 1000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(child.get(), &code);
  } else {
    TerminateProcess(child.get(), 1);
  }
  return static_cast<int>(code);
}

}  // namespace testsupport
#endif
