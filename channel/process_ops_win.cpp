#include "channel/process_ops_win.h"

#include <tlhelp32.h>

#include <vector>

#include "base/text_convert.h"

bool KillProcessByName(const std::wstring& name) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, name.c_str()) != 0) continue;
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process) process.reset(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (!process || !TerminateProcess(process.get(), 0)) return false;
    WaitForSingleObject(process.get(), 5000);
    return true;
  }
  return false;
}

UniqueHandle HoldFileAgainstChanges(const std::string& path) {
  return UniqueHandle(CreateFileW(AnsiToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string TemporaryFolder() {
  char folder[260] = {};
  DWORD n = GetTempPathA(sizeof(folder), folder);
  if (n == 0 || n >= sizeof(folder)) return std::string();
  return folder;
}

std::wstring TemporaryFolderW() {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
  if (n == 0 || n > MAX_PATH) return std::wstring();
  return folder;
}

ProcessRun RunProcessAndWait(const std::string& path, const std::string& commandLine, UniqueHandle heldFile) {
  return RunProcessAndWait(AnsiToWide(path), commandLine, std::move(heldFile));
}

ProcessRun RunProcessAndWait(const std::wstring& path, const std::string& commandLine, UniqueHandle heldFile) {
  ProcessRun run;
  const std::wstring wide = AnsiToWide(commandLine);
  std::vector<wchar_t> text(wide.begin(), wide.end());
  text.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  run.started = CreateProcessW(path.c_str(), text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &info) != FALSE;
  if (!run.started) run.error = GetLastError();
  heldFile.reset();
  if (!run.started) return run;
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  if (!GetExitCodeProcess(process.get(), &run.exitCode)) run.exitCode = static_cast<DWORD>(-1);
  return run;
}
