// The program's entry: prepare the process, read the launch options, load the
// skin package and the interface language, wire the install's parts, create
// the one main window, run the message loop and return the exit code (always
// 0).
#include <windows.h>
// after windows.h
#include <objbase.h>

#include <memory>

#include "app/install_wiring.h"
#include "app/launch_options.h"
#include "app/startup_win.h"
#include "channel/channel_manger_win.h"
#include "install/registration.h"
#include "net/system_proxy_win.h"
#include "ui/language_choice.h"
#include "ui/main_wnd.h"
#include "ui/text_table.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MarkCompatibilityAssistantDone();
  skinui::WindowImplBase::SetInstance(instance);
  LoadSkinPackage(instance);
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
  if (!window) return 0;
  // The window object deletes itself once its native window is gone, so a
  // failed creation (which may already have run that step) is not deleted
  // here; the process ends right after.
  if (!window->Create(nullptr, GetText(L"tt_wizard").c_str(),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                      WS_EX_WINDOWEDGE)) {
    ReleaseTextTable();
    CoUninitialize();
    return 0;
  }
  window->CenterWindow();
  window->ShowWindow(!options.silent);
  skinui::WindowImplBase::MessageLoop();

  ReleaseTextTable();
  CoUninitialize();
  return exitCode.value;
}
