// Every run of the channel controller ends with exactly one outcome. This
// stands between the controller and the InstallEvents the window gave it:
// it lets the first OnFinished or OnFailed through and nothing after it, and
// when Run has returned or thrown without either, the channel thread calls
// EnsureOutcome, which reports the run as failed (kInternalError). Without
// it a run whose controller threw would leave a silent run waiting for ever
// and a window that refuses to close.
//
// Threads: the InstallEvents calls come from any worker thread; EnsureOutcome
// from the channel thread after Run. Never blocks beyond the target's calls.
#pragma once
#include <atomic>

#include "channel/install_events.h"

class RunOutcome : public InstallEvents {
 public:
  explicit RunOutcome(InstallEvents& target) : target(target) {}

  void OnDownloadProgress(double downloaded, double total) override;
  void OnInstallerProgress(long percent) override;
  void OnFinished() override;
  void OnFailed(const InstallFailure& failure) override;

  // After Run: when no outcome has gone through, writes a line and reports
  // an internal error. True when it had to.
  bool EnsureOutcome();
  bool Ended() const { return ended.load(); }

 private:
  InstallEvents& target;
  std::atomic<bool> ended{false};
};
