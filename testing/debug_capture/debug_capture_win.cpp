// Runs a program as a debuggee (with every process it starts) and prints each
// debugger-output line it writes, narrow or wide, as one UTF-8 line on
// standard output: "<pid>: <text>" (a trailing line feed of the text is
// dropped). Each process start is printed as "<pid>: debug_capture: started
// <image path>", each end as "<pid>: debug_capture: exited <exit code>".
// Ends with the program's exit code as soon as the program has ended; the
// processes it started that still run are let go, not waited for (Wine's
// desktop process, started by whichever program first needs it, never ends).
// For tests and the demo, where Wine's own tracing shows only the narrow lines
// (and wide ones in the ANSI code page).
//   debug_capture.exe [--end-after TEXT MS] [--env NAME=VALUE]... PROGRAM [ARGUMENTS...]
// --end-after: once a line containing TEXT has been written, watch MS more
// milliseconds; if the program is still running then, print "debug_capture:
// still running", end every process and exit with 124.
// --env: the program starts with NAME set to VALUE in its environment (Wine
// takes TEMP and TMP from the prefix's registry, not from the Linux side).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/win_handle.h"

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  std::wstring text;
  size_t length = info.nDebugStringLength;
  if (length == 0 || length > 65536) return text;
  if (info.fUnicode) {
    std::vector<wchar_t> buffer(length, 0);
    SIZE_T got = 0;
    ReadProcessMemory(process, info.lpDebugStringData, buffer.data(), length * sizeof(wchar_t), &got);
    text.assign(buffer.data(), wcsnlen(buffer.data(), got / sizeof(wchar_t)));
  } else {
    std::vector<char> buffer(length, 0);
    SIZE_T got = 0;
    ReadProcessMemory(process, info.lpDebugStringData, buffer.data(), length, &got);
    std::string narrow(buffer.data(), strnlen(buffer.data(), got));
    int n = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    text.assign(n, L'\0');
    if (n) MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), &text[0], n);
  }
  if (!text.empty() && text.back() == L'\n') text.pop_back();
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in "\n" alone
  int first = 1;
  std::string endAfter;
  DWORD endAfterMs = 0;
  if (argc > 3 && std::wstring(argv[1]) == L"--end-after") {
    endAfter = ToUtf8(argv[2]);
    endAfterMs = static_cast<DWORD>(_wtoi(argv[3]));
    first = 4;
  }
  while (argc > first + 1 && std::wstring(argv[first]) == L"--env") {
    const std::wstring setting = argv[first + 1];
    const size_t equals = setting.find(L'=');
    if (equals == 0 || equals == std::wstring::npos ||
        !SetEnvironmentVariableW(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str())) {
      std::fprintf(stderr, "debug_capture: bad --env %s\n", ToUtf8(setting).c_str());
      return 2;
    }
    first += 2;
  }
  if (argc <= first) {
    std::fprintf(stderr, "usage: debug_capture [--end-after TEXT MS] [--env NAME=VALUE]... PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  std::wstring commandLine;
  for (int i = first; i < argc; ++i) {
    if (i > first) commandLine += L' ';
    std::wstring a = argv[i];
    if (a.find_first_of(L" \t\"") == std::wstring::npos && !a.empty()) {
      commandLine += a;
      continue;
    }
    commandLine += L'"';
    for (wchar_t c : a) {
      if (c == L'"') commandLine += L'\\';
      commandLine += c;
    }
    commandLine += L'"';
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(argv[first], &commandLine[0], nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr, nullptr, &startup,
                      &info)) {
    std::fprintf(stderr, "debug_capture: cannot start the program, error %lu\n", GetLastError());
    return 2;
  }
  const UniqueHandle mainThread(info.hThread), mainProcess(info.hProcess);
  const DWORD mainPid = info.dwProcessId;
  DWORD mainExit = 1;
  std::vector<std::pair<DWORD, HANDLE>> processes;
  // The Ex form passes wide lines on as wide text; the plain one as ANSI.
  using WaitFn = BOOL(WINAPI*)(DEBUG_EVENT*, DWORD);
  auto waitForDebugEvent = reinterpret_cast<WaitFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "WaitForDebugEventEx")));
  if (!waitForDebugEvent) waitForDebugEvent = &WaitForDebugEvent;
  DEBUG_EVENT event{};
  ULONGLONG deadline = 0;  // 0: none
  bool ended = false;
  for (;;) {
    DWORD wait = INFINITE;
    if (deadline) {
      ULONGLONG now = GetTickCount64();
      wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    if (!waitForDebugEvent(&event, wait)) {
      if (GetLastError() != ERROR_SEM_TIMEOUT && !deadline) break;
      std::printf("debug_capture: still running\n");
      std::fflush(stdout);
      for (auto& p : processes) TerminateProcess(p.second, 124);
      ended = true;
      deadline = 0;
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        processes.emplace_back(event.dwProcessId, event.u.CreateProcessInfo.hProcess);
        wchar_t image[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        QueryFullProcessImageNameW(event.u.CreateProcessInfo.hProcess, 0, image, &size);
        std::printf("%lu: debug_capture: started %s\n", event.dwProcessId, ToUtf8(image).c_str());
        std::fflush(stdout);
        UniqueHandle imageFile(event.u.CreateProcessInfo.hFile);  // the debugger's to close
        break;
      }
      case LOAD_DLL_DEBUG_EVENT: {
        UniqueHandle dllFile(event.u.LoadDll.hFile);  // the debugger's to close
        break;
      }
      case OUTPUT_DEBUG_STRING_EVENT:
        for (auto& p : processes) {
          if (p.first != event.dwProcessId) continue;
          std::string line = ToUtf8(ReadDebugString(p.second, event.u.DebugString));
          std::printf("%lu: %s\n", event.dwProcessId, line.c_str());
          std::fflush(stdout);
          if (!endAfter.empty() && !deadline && !ended && line.find(endAfter) != std::string::npos)
            deadline = GetTickCount64() + endAfterMs;
        }
        break;
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT &&
            event.u.Exception.ExceptionRecord.ExceptionCode != 0x4000001F /* WOW64 breakpoint */)
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        // Also for processes never reported as started: one that fails before
        // its start is reported ends with an exit event alone (under Wine,
        // the disabled winemenubuilder.exe a shortcut's creation starts).
        std::printf("%lu: debug_capture: exited %lu\n", event.dwProcessId, event.u.ExitProcess.dwExitCode);
        std::fflush(stdout);
        for (auto it = processes.begin(); it != processes.end(); ++it) {
          if (it->first != event.dwProcessId) continue;
          processes.erase(it);
          break;
        }
        if (event.dwProcessId == mainPid) mainExit = event.u.ExitProcess.dwExitCode;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == mainPid) break;
  }
  // What the program started and left running goes on without a debugger.
  DebugSetProcessKillOnExit(FALSE);
  for (auto& p : processes) DebugActiveProcessStop(p.first);
  return ended ? 124 : static_cast<int>(mainExit);
}
