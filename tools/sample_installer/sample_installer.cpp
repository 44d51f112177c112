// The sample full installer "QVInstaller.exe": what the channel stub starts
// after its download. It speaks the progress pipe as the real full installer
// must (connect as the client, progress as UTF-16LE decimal text, one write
// per message and no terminator, at most one failure text, close), installs
// the embedded sample client as "Quorvane.exe" into the folder it is given,
// records the client's path as "DisplayIcon" under the uninstall key, and
// ends with 0 on success. tools/README.md lists the "-sample-..." switches.
#include <windows.h>
// after windows.h
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/text_convert.h"
#include "base/win_handle.h"
#include "tools/sample_installer/installer_args.h"
#include "tools/sample_installer/resource_ids.h"

namespace {

constexpr DWORD kConnectWaitMs = 10000;
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";

std::wstring ErrorDetail(const wchar_t* what, const std::wstring& path, DWORD error) {
  return std::wstring(what) + L" " + path + L" (error " + std::to_wstring(error) + L")";
}

// Opens the stub's pipe as its client. The pipe exists before this process
// starts; a busy or not yet listening server is waited for, within a bound.
UniqueHandle ConnectPipe(const std::wstring& name) {
  const ULONGLONG until = GetTickCount64() + kConnectWaitMs;
  for (;;) {
    UniqueHandle pipe(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (pipe) return pipe;
    DWORD error = GetLastError();
    ULONGLONG now = GetTickCount64();
    if (now >= until) return UniqueHandle();
    if (error == ERROR_PIPE_BUSY)
      WaitNamedPipeW(name.c_str(), static_cast<DWORD>(until - now));
    else
      Sleep(50);
  }
}

// One message is one write of the text's UTF-16LE units, without a NUL.
void Send(const UniqueHandle& pipe, const std::wstring& text) {
  if (!pipe || text.empty()) return;  // a zero-byte write is no message
  DWORD written = 0;
  WriteFile(pipe.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}

bool WriteWholeFile(const std::wstring& path, const void* data, DWORD size, DWORD& error) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), data, size, &written, nullptr) || written != size) {
    error = GetLastError();
    return false;
  }
  return true;
}

void WriteArgsFile(const InstallerArgs& args, const std::wstring& path) {
  std::string text = "cmdline=" + WideToUtf8(args.commandLine) + "\r\n";
  text += "pipename=" + WideToUtf8(args.pipeName) + "\r\n";
  text += "install-path=" + WideToUtf8(args.installPath) + "\r\n";
  for (const auto& token : args.tokens) text += "arg=" + WideToUtf8(token) + "\r\n";
  DWORD error = 0;
  WriteWholeFile(path, text.data(), static_cast<DWORD>(text.size()), error);
}

// Installs the client; on failure returns false with a detail for the stub.
bool InstallClient(const InstallerArgs& args, std::wstring& detail) {
  if (args.installPath.empty()) {
    detail = L"no installation folder";
    return false;
  }
  HRSRC res =
      FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_SAMPLE_CLIENT), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = res ? LoadResource(nullptr, res) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = res ? SizeofResource(nullptr, res) : 0;
  if (!data || size == 0) {
    detail = L"client missing from the installer";
    return false;
  }
  std::wstring client = args.installPath;
  if (client.back() != L'\\' && client.back() != L'/') client += L'\\';
  client += L"Quorvane.exe";
  DWORD error = 0;
  if (!WriteWholeFile(client, data, size, error)) {
    detail = ErrorDetail(L"cannot write", client, error);
    return false;
  }
  // A 32-bit process sees the 32-bit view of HKLM\SOFTWARE, where the stub
  // reads the value back.
  RegKey key;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                            nullptr, key.put(), nullptr);
  if (rc == ERROR_SUCCESS)
    rc = RegSetValueExW(key.get(), L"DisplayIcon", 0, REG_SZ, reinterpret_cast<const BYTE*>(client.c_str()),
                        static_cast<DWORD>((client.size() + 1) * sizeof(wchar_t)));
  if (rc != ERROR_SUCCESS) {
    detail = ErrorDetail(L"cannot register", kUninstallKey, static_cast<DWORD>(rc));
    return false;
  }
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const InstallerArgs args = ParseInstallerArgs(GetCommandLineW());

  if (!args.installPath.empty()) SHCreateDirectoryExW(nullptr, args.installPath.c_str(), nullptr);
  std::wstring argsFile = args.argsFile;
  if (argsFile.empty() && !args.installPath.empty()) argsFile = args.installPath + L"\\installer_args.txt";
  if (!argsFile.empty()) WriteArgsFile(args, argsFile);

  UniqueHandle pipe;
  if (!args.noConnect && !args.pipeName.empty()) pipe = ConnectPipe(args.pipeName);

  std::vector<std::wstring> steps = args.steps;
  if (!args.stepsSet) {
    if (args.fail)
      steps = {L"5", L"20"};
    else if (args.joined)
      steps = {L"5", L"5758", L"100"};  // 57 and 58 as if written too close together
    else
      steps = {L"5", L"20", L"40", L"60", L"80", L"100"};
  }
  auto pause = [&args] { Sleep(static_cast<DWORD>(args.pauseMs)); };
  auto sendFailure = [&](const std::wstring& detail) {
    Send(pipe, detail.empty() ? args.failText : args.failText + L": " + detail);
    pause();
  };

  if (args.fail) {
    for (const auto& step : steps) Send(pipe, step), pause();
    sendFailure(args.failDetail);
    return args.exitSet ? args.exitCode : 1;
  }

  // The work comes before the last messages, so a failure can still be told.
  if (!steps.empty()) Send(pipe, steps.front());
  std::wstring detail;
  if (!InstallClient(args, detail)) {
    pause();
    sendFailure(detail);
    return args.exitSet ? args.exitCode : 1;
  }
  for (size_t i = 1; i < steps.size(); ++i) pause(), Send(pipe, steps[i]);
  pause();
  return args.exitSet ? args.exitCode : 0;
}
