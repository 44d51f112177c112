// The server end of the progress pipe, set up as the channel stub sets it up,
// for testing the sample full installer:
//
//   sample_installer_pipe_check OUT_FILE INSTALLER_EXE INSTALL_PATH [FORWARDED...]
//
// Creates the pipe, starts the installer with the stub's command line, reads
// every message until the installer closes its end, waits for its exit, reads
// "DisplayIcon" back, starts the installed "Quorvane.exe" once, and writes what
// it saw to OUT_FILE (UTF-8 lines: connected=, message=, bytes=, exit=,
// displayicon=, client=). Bounded waits throughout: it never hangs a test.
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/text_convert.h"
#include "base/win_handle.h"

namespace {

constexpr DWORD kBoundMs = 60000;
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";

std::string Ansi(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// Completes one overlapped operation, or gives up when `process` ends first
// (then the operation is cancelled). True when it completed.
bool Complete(HANDLE pipe, OVERLAPPED& ov, HANDLE process, DWORD& bytes) {
  HANDLE waits[2] = {ov.hEvent, process};
  DWORD r = WaitForMultipleObjects(process ? 2 : 1, waits, FALSE, kBoundMs);
  if (r != WAIT_OBJECT_0) {
    CancelIo(pipe);
    GetOverlappedResult(pipe, &ov, &bytes, TRUE);
    return false;
  }
  return GetOverlappedResult(pipe, &ov, &bytes, FALSE) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: pipe_check OUT_FILE INSTALLER_EXE INSTALL_PATH [FORWARDED...]\n");
    return 2;
  }
  const std::wstring outPath = argv[1], installer = argv[2], installPath = argv[3];
  std::wstring forwarded;
  for (int i = 4; i < argc; ++i) forwarded += (forwarded.empty() ? L"" : L" ") + std::wstring(argv[i]);
  std::string out;

  // A value left by an earlier run must not pass for this run's.
  RegKey old;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, old.put()) ==
      ERROR_SUCCESS)
    RegDeleteValueW(old.get(), L"DisplayIcon");
  old.reset();

  wchar_t pipeName[50];
  swprintf(pipeName, 50, L"\\\\.\\pipe\\autoupdate_pipe_quorvane_%d",
           static_cast<int>(GetCurrentProcessId()));
  UniqueHandle pipe(
      CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE, 0,
                       1, 512, 512, 0, nullptr));
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pipe || !event) {
    std::fprintf(stderr, "pipe_check: cannot create the pipe (%lu)\n", GetLastError());
    return 2;
  }

  // The stub's own command line for the full installer, blanks included.
  char commandLine[1024];
  std::snprintf(commandLine, sizeof commandLine,
                " -pipename=%s  -silent -auto-start  -launch-by-channel -install-path \"%s\" %s ",
                Ansi(pipeName).c_str(), Ansi(installPath).c_str(), Ansi(forwarded).c_str());
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(Ansi(installer).c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "pipe_check: cannot start the installer (%lu)\n", GetLastError());
    return 2;
  }
  UniqueHandle process(pi.hProcess), thread(pi.hThread);

  OVERLAPPED ov{};
  ov.hEvent = event.get();
  DWORD bytes = 0;
  bool connected = ConnectNamedPipe(pipe.get(), &ov) != FALSE;
  if (!connected) {
    DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED)
      connected = true;
    else if (error == ERROR_IO_PENDING)
      connected = Complete(pipe.get(), ov, process.get(), bytes);
  }
  out += "connected=" + std::string(connected ? "1" : "0") + "\n";
  while (connected) {
    char buffer[1024] = {};
    ResetEvent(event.get());
    ov = OVERLAPPED{};
    ov.hEvent = event.get();
    bytes = 0;
    BOOL ok = ReadFile(pipe.get(), buffer, 512, &bytes, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) break;
    if (!ok && !Complete(pipe.get(), ov, nullptr, bytes)) break;
    if (bytes == 0) continue;
    std::wstring text(reinterpret_cast<const wchar_t*>(buffer), bytes / sizeof(wchar_t));
    out += "bytes=" + std::to_string(bytes) + "\n";
    out += "message=" + WideToUtf8(text) + "\n";
  }

  DWORD exitCode = 0;
  bool ended = WaitForSingleObject(process.get(), kBoundMs) == WAIT_OBJECT_0;
  GetExitCodeProcess(process.get(), &exitCode);
  out += ended ? "exit=" + std::to_string(exitCode) + "\n" : "exit=running\n";

  wchar_t icon[1024] = {};
  DWORD iconBytes = sizeof icon - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY,
                   nullptr, icon, &iconBytes) == ERROR_SUCCESS)
    out += "displayicon=" + WideToUtf8(icon) + "\n";

  // The installed client, started once: it must run and leave its mark.
  std::wstring client = installPath + L"\\Quorvane.exe";
  if (GetFileAttributesW(client.c_str()) != INVALID_FILE_ATTRIBUTES) {
    std::wstring line = L"\"" + client + L"\" -sample-stay=0";
    STARTUPINFOW csi{};
    csi.cb = sizeof csi;
    PROCESS_INFORMATION cpi{};
    if (CreateProcessW(client.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &csi,
                       &cpi)) {
      UniqueHandle cp(cpi.hProcess), ct(cpi.hThread);
      WaitForSingleObject(cp.get(), kBoundMs);
      out += "client_pid=" + std::to_string(cpi.dwProcessId) + "\n";
    }
  }

  UniqueHandle file(
      CreateFileW(outPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &written, nullptr))
    return 2;
  return 0;
}
