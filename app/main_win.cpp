// The program's entry: prepare the process, read the launch options, load the
// skin package and the interface language, create the one main window, run
// the message loop and return the exit code (always 0).
#include <windows.h>
#include <objbase.h>

#include <memory>

#include "app/launch_options.h"
#include "app/plain_window_win.h"
#include "app/startup_win.h"
#include "channel/channel_manger_win.h"
#include "install/install_run.h"
#include "ui/language_choice.h"
#include "ui/text_table.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MarkCompatibilityAssistantDone();
  LoadSkinPackage(instance);
  ChooseStartLanguage();

  LaunchOptions options = ParseCommandLine(commandLine ? commandLine : L"");
  ApplyOwnFileName(OwnFileName(), options);

  auto* window = new (std::nothrow) PlainWindow(options, std::make_unique<ChannelManger>());
  if (!window) return 0;
  // The window object deletes itself when its native window is destroyed.
  if (!window->Create(GetText(L"tt_wizard"))) {
    delete window;
    return 0;
  }
  HWND hwnd = window->hwnd();
  CentreWindow(hwnd);
  ShowWindow(hwnd, options.silent ? SW_HIDE : SW_SHOW);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  ReleaseTextTable();
  CoUninitialize();
  return ExitCode;
}
