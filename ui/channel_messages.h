// The window messages through which the install's workers reach the main
// window, and what each carries. Only the window's adapter
// (window_install_events_win.h) posts them and only the main window handles
// them (Windows only).
//
// Each message carries its facts in a heap object whose pointer is the
// lParam; the message owns it. Post hands it to the queue (and frees it when
// the window is gone), the handler takes it back with Take, and whatever is
// still queued when the window ends is freed by DiscardChannelMessages. No
// worker value is parked anywhere for the window to fetch later.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/exit_codes.h"

// lParam: a ChannelProgress.
#define WM_CHANNEL_PROGRESS (WM_USER + 101)
// lParam: a ChannelFailed.
#define WM_CHANNEL_FAILED (WM_USER + 102)

// Which event a progress message reports.
enum class ProgressPhase {
  kDownloading,       // the full installer's download
  kInstallerRunning,  // the full installer's own percentage
  kInstallerDone,     // the full installer has ended (bar value 100)
  kFinished,          // finished: bar value 101
};

// One progress snapshot: the bar and the status row are both drawn from it.
struct ChannelProgress {
  ProgressPhase phase = ProgressPhase::kDownloading;
  unsigned barValue = 0;  // on the scale of ui/install_presentation.h
  uint64_t received = 0;  // kDownloading: bytes of the full installer so far
  uint64_t total = 0;     // kDownloading: its length (> 0)
};

// The install failed: the text the window shows and reports, and the exit code.
struct ChannelFailed {
  std::wstring text;
  ExitCode code = ExitCode::kInternalError;
};

// Posts `message` with `payload`; false (the payload freed) when the window
// is gone.
template <typename Payload>
bool PostChannelMessage(HWND window, UINT message, std::unique_ptr<Payload> payload) {
  if (!PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(payload.get()))) return false;
  payload.release();  // the queued message owns it now
  return true;
}

// The payload of a received WM_CHANNEL_PROGRESS or WM_CHANNEL_FAILED; call
// once per message, with the matching type.
template <typename Payload>
std::unique_ptr<Payload> TakeChannelMessage(LPARAM lp) {
  return std::unique_ptr<Payload>(reinterpret_cast<Payload*>(lp));
}

// Removes the channel messages still queued for `window` and frees their
// payloads; for a window that ends after its workers have.
inline void DiscardChannelMessages(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, WM_CHANNEL_PROGRESS, WM_CHANNEL_FAILED, PM_REMOVE | PM_QS_POSTMESSAGE)) {
    if (msg.message == WM_CHANNEL_PROGRESS) TakeChannelMessage<ChannelProgress>(msg.lParam);
    if (msg.message == WM_CHANNEL_FAILED) TakeChannelMessage<ChannelFailed>(msg.lParam);
  }
}
