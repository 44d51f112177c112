// Where a worker's install event becomes a window message: the adapter the
// main window hands to the channel controller. It maps each event onto the
// bar's scale (ui/install_presentation.h) and posts WM_CHANNEL_PROGRESS or
// WM_CHANNEL_FAILED to the window; a failure's text is made here and kept for
// the window to read once the message arrives.
//
// Threads: the InstallEvents calls come from worker threads and only post;
// FailureText is read on the UI thread after WM_CHANNEL_FAILED.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/exit_codes.h"
#include "channel/install_events.h"

class WindowInstallEvents : public InstallEvents {
 public:
  explicit WindowInstallEvents(HWND window) : window(window) {}

  void OnDownloadProgress(double downloaded, double total) override;
  void OnInstallerProgress(long percent) override;
  // Posts 100 and then 101; blocks its caller for a few milliseconds.
  void OnFinished() override;
  // Publishes the failure text, writes it as a debugger line, then posts.
  void OnFailed(const InstallFailure& failure) override;

  // The text of the last failure (a copy taken before its message was posted).
  std::wstring FailureText();
  // The exit code of the last failure (channel/install_failure.h).
  ExitCode FailureCode();

  // The latest download byte counts and whether the full installer has begun
  // to run; stored before each progress message is posted, read on the UI
  // thread when it arrives (the bar's value says nothing of sizes).
  uint64_t Received() const { return received.load(); }
  uint64_t Total() const { return total.load(); }
  bool InstallerRunning() const { return installerRunning.load(); }

 private:
  void Post(unsigned barValue);

  const HWND window;
  std::mutex lock;
  std::wstring failureText;  // guarded by lock
  // Until a failure is recorded, a failure message cannot have come from here.
  ExitCode failureCode = ExitCode::kInternalError;  // guarded by lock
  std::atomic<uint64_t> received{0}, total{0};
  std::atomic<bool> installerRunning{false};
};
