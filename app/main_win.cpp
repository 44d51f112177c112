// The program's entry: prepare the process, read the launch options, load the
// skin package and the interface language, wire the install's parts, create
// the one main window, run the message loop and return the exit code
// (base/exit_codes.h). Every debugger line of the run also goes to the run's
// log in the temporary folder.
#include <windows.h>
// after windows.h
#include <objbase.h>

#include <memory>

#include "app/install_wiring.h"
#include "app/launch_options.h"
#include "app/startup_win.h"
#include "base/debug_output.h"
#include "base/dll_search.h"
#include "base/exit_codes.h"
#include "base/run_log.h"
#include "base/text_convert.h"
#include "channel/channel_manger_win.h"
#include "install/registration.h"
#include "net/system_proxy_win.h"
#include "ui/language_choice.h"
#include "ui/main_wnd.h"
#include "ui/text_table.h"

namespace {

// The temporary folder as UTF-8, without its trailing separator; empty when
// there is none.
std::string TempFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  if (n == 0 || n > MAX_PATH) return std::string();
  std::wstring folder(path, n);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return WideToUtf8(folder);
}

// The last line of the run's log, then the log itself ends.
int EndRun(int code) {
  DebugOut("QuorvaneSetup ends; exit code " + std::to_string(code));
  StopRunLog();
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  // Before anything can load a DLL: from here on DLLs come from the system
  // folder only, never from the folder the installer was started from.
  const bool dllSearchRestricted = RestrictDllSearchToSystem();
  const std::string logPath = StartRunLog(TempFolder(), "QuorvaneSetup", GetCurrentProcessId());
  DebugOut("QuorvaneSetup starts; log " + (logPath.empty() ? std::string("none") : logPath));
  if (!dllSearchRestricted) DebugOut("the DLL search could not be restricted to the system folder");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MarkCompatibilityAssistantDone();
  skinui::WindowImplBase::SetInstance(instance);
  if (!LoadSkinPackage(instance)) {
    DebugOut("no skin package in the executable");
    CoUninitialize();
    return EndRun(ExitCodeValue(ExitCode::kStartFailed));
  }
  ChooseStartLanguage();

  LaunchOptions options = ParseCommandLine(commandLine ? commandLine : L"");
  ApplyOwnFileName(OwnFileName(), options);
  // The current user's proxy settings, read once; every transfer of the run
  // asks them for its URL.
  options.transfer.routing = std::make_shared<SystemProxyRouting>();

  InstallOptions installOptions = ToInstallOptions(options);
  ApplyWindowDefaults(installOptions);
  // Read before any install can write it.
  InstallActions actions = MakeInstallActions(installOptions, ReadPreviousChannelId());
  // Written by the window and its run; lives until the process returns it.
  ExitCodeSlot exitCode;
  auto* window = new (std::nothrow)
      CMainWnd(installOptions, std::make_unique<ChannelManger>(), std::move(actions), exitCode);
  if (!window) return EndRun(ExitCodeValue(ExitCode::kStartFailed));
  // Once the session ends, Windows may end the process at any moment and
  // with any code (Wine ends it with 0): a deployment tool would take an
  // interrupted install for a finished one. The run's last line is written,
  // then the process ends itself with the run's own code, at once, as it
  // would be ended anyway (its workers are not waited for).
  window->endSession = [&exitCode] { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(EndRun(exitCode.value))); };
  // The window object deletes itself once its native window is gone, so a
  // failed creation (which may already have run that step) is not deleted
  // here; the process ends right after.
  if (!window->Create(nullptr, GetText(L"tt_wizard").c_str(),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                      WS_EX_WINDOWEDGE)) {
    DebugOut("the main window could not be created");
    ReleaseTextTable();
    CoUninitialize();
    return EndRun(ExitCodeValue(ExitCode::kStartFailed));
  }
  window->CenterWindow();
  window->ShowWindow(!options.silent);
  skinui::WindowImplBase::MessageLoop();

  ReleaseTextTable();
  CoUninitialize();
  return EndRun(exitCode.value);
}
