#include "ui/window_install_events_win.h"

#include "base/debug_output.h"
#include "ui/install_presentation.h"

void WindowInstallEvents::PostProgress(ProgressPhase phase, unsigned barValue, uint64_t received,
                                       uint64_t total) {
  auto snapshot = std::make_unique<ChannelProgress>();
  snapshot->phase = phase;
  snapshot->barValue = barValue;
  snapshot->received = received;
  snapshot->total = total;
  PostChannelMessage(window, WM_CHANNEL_PROGRESS, std::move(snapshot));
}

void WindowInstallEvents::OnDownloadProgress(double downloaded, double total) {
  if (total == 0) return;
  PostProgress(ProgressPhase::kDownloading, DownloadBarValue(downloaded, total),
               downloaded >= 0 ? static_cast<uint64_t>(downloaded) : 0,
               total >= 0 ? static_cast<uint64_t>(total) : 0);
}

void WindowInstallEvents::OnInstallerProgress(long percent) {
  PostProgress(ProgressPhase::kInstallerRunning, InstallerBarValue(percent));
}

void WindowInstallEvents::OnFinished() {
  PostProgress(ProgressPhase::kInstallerDone, kBarInstallerDone);
  // The two values arrive as two messages, a moment apart.
  Sleep(5);
  PostProgress(ProgressPhase::kFinished, kBarFinished);
}

void WindowInstallEvents::OnFailed(const InstallFailure& failure) {
  auto failed = std::make_unique<ChannelFailed>();
  failed->text = ::FailureText(failure);
  failed->code = ExitCodeFor(failure);
  DebugOutW(L"channel install failed, status text: " + failed->text);
  PostChannelMessage(window, WM_CHANNEL_FAILED, std::move(failed));
}
