// Where a worker's install event becomes a window message: the adapter the
// main window hands to the channel controller. It maps each event onto the
// bar's scale (ui/install_presentation.h) and a failure onto its text and
// exit code, and posts WM_CHANNEL_PROGRESS or WM_CHANNEL_FAILED with those
// facts as the message's payload (ui/channel_messages.h). It keeps nothing
// for the window to read back.
//
// Threads: the InstallEvents calls come from worker threads and only post.
#pragma once
#include <windows.h>

#include "channel/install_events.h"
#include "ui/channel_messages.h"

class WindowInstallEvents : public InstallEvents {
 public:
  explicit WindowInstallEvents(HWND window) : window(window) {}

  // Posts a snapshot when the total is known (the bar says nothing without it).
  void OnDownloadProgress(double downloaded, double total) override;
  void OnInstallerProgress(long percent) override;
  // Posts 100 and then 101; blocks its caller for a few milliseconds.
  void OnFinished() override;
  // Writes the failure's text as a debugger line, then posts it with its exit code.
  void OnFailed(const InstallFailure& failure) override;

 private:
  void PostProgress(ProgressPhase phase, unsigned barValue, uint64_t received = 0, uint64_t total = 0);

  const HWND window;
};
