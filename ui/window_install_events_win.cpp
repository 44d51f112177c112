#include "ui/window_install_events_win.h"

#include "base/debug_output.h"
#include "ui/channel_messages.h"
#include "ui/install_presentation.h"

void WindowInstallEvents::Post(unsigned barValue) { PostMessageW(window, WM_CHANNEL_PROGRESS, barValue, 0); }

void WindowInstallEvents::OnDownloadProgress(double downloaded, double total) {
  if (downloaded >= 0) received = static_cast<uint64_t>(downloaded);
  if (total >= 0) this->total = static_cast<uint64_t>(total);
  if (total != 0) Post(DownloadBarValue(downloaded, total));
}

void WindowInstallEvents::OnInstallerProgress(long percent) {
  installerRunning = true;
  Post(InstallerBarValue(percent));
}

void WindowInstallEvents::OnFinished() {
  Post(kBarInstallerDone);
  // The two values arrive as two messages, a moment apart.
  Sleep(5);
  Post(kBarFinished);
}

void WindowInstallEvents::OnFailed(const InstallFailure& failure) {
  const std::wstring text = ::FailureText(failure);
  {
    std::lock_guard<std::mutex> guard(lock);
    failureText = text;
    failureCode = ExitCodeFor(failure);
  }
  DebugOutW(L"channel install failed, status text: " + text);
  PostMessageW(window, WM_CHANNEL_FAILED, 0, 0);
}

std::wstring WindowInstallEvents::FailureText() {
  std::lock_guard<std::mutex> guard(lock);
  return failureText;
}

ExitCode WindowInstallEvents::FailureCode() {
  std::lock_guard<std::mutex> guard(lock);
  return failureCode;
}
