#include "app/rehearsal_channel_win.h"

#include "install/messages.h"
#include "ui/text_table.h"

void RehearsalChannel::Configure(const ChannelSettings& s) {
  std::lock_guard<std::mutex> l(lock);
  settings = s;
}

void RehearsalChannel::Run() {
  HWND window;
  bool fail;
  {
    std::lock_guard<std::mutex> l(lock);
    window = static_cast<HWND>(settings.window);
    fail = settings.forwardedArgs.find(L"-rehearse-failure") != std::wstring::npos;
  }
  for (unsigned v = 0; v <= 70; v += 10) {
    PostMessageW(window, WM_CHANNEL_PROGRESS, v, 0);
    Sleep(40);
  }
  if (fail) {
    {
      std::lock_guard<std::mutex> l(lock);
      statusText = GetText(L"tt_downstatus_failed") + L" 28";
    }
    PostMessageW(window, WM_CHANNEL_FAILED, 0, 0);
    return;
  }
  for (unsigned v = 71; v <= 99; v += 4) {
    PostMessageW(window, WM_CHANNEL_PROGRESS, v, 0);
    Sleep(40);
  }
  PostMessageW(window, WM_CHANNEL_PROGRESS, 99, 0);
  PostMessageW(window, WM_CHANNEL_PROGRESS, 100, 0);
  Sleep(5);
  PostMessageW(window, WM_CHANNEL_PROGRESS, 101, 0);
}

std::wstring RehearsalChannel::StatusText() {
  std::lock_guard<std::mutex> l(lock);
  return statusText;
}

CdnAttemptStats RehearsalChannel::AttemptStats() { return {}; }
