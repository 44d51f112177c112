#include "channel/install_failure.h"

#include "download/download_error.h"

ExitCode ExitCodeFor(InstallFailureKind kind) {
  for (const FailureExitCode& row : kFailureExitCodes)
    if (row.kind == kind) return row.code;
  return ExitCode::kInternalError;
}

ExitCode ExitCodeFor(const InstallFailure& failure) {
  const std::optional<AttemptOutcome>& last = failure.lastDownloadFailure;
  if (failure.kind == InstallFailureKind::kDownloadFailed && last && last->end == AttemptEnd::kNotWhole &&
      last->code >= kLengthMismatchResult && last->code <= kSizeMismatchResult)
    return ExitCodeFor(InstallFailureKind::kPackageRejected);
  return ExitCodeFor(failure.kind);
}
