#include "channel/run_outcome.h"

#include "base/debug_output.h"

void RunOutcome::OnDownloadProgress(double downloaded, double total) {
  if (!ended) target.OnDownloadProgress(downloaded, total);
}

void RunOutcome::OnInstallerProgress(long percent) {
  if (!ended) target.OnInstallerProgress(percent);
}

void RunOutcome::OnFinished() {
  if (!ended.exchange(true)) target.OnFinished();
}

void RunOutcome::OnFailed(const InstallFailure& failure) {
  if (!ended.exchange(true)) target.OnFailed(failure);
}

bool RunOutcome::EnsureOutcome() {
  if (ended.exchange(true)) return false;
  DebugOut("the channel ended without an outcome: an internal error");
  InstallFailure failure;
  failure.kind = InstallFailureKind::kInternalError;
  target.OnFailed(failure);
  return true;
}
