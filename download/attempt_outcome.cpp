#include "download/attempt_outcome.h"

#include <curl/curl.h>

namespace {
// The report's value for a segmented fallback that could not start; it is
// outside libcurl's codes and above the HTTP statuses' range on purpose. The
// values that follow it (1002..1005, a file that is not whole) are in
// download/download_error.h.
constexpr int kFallbackNotStartedResult = 1001;
}  // namespace

bool AttemptOutcome::TimedOut() const {
  return end == AttemptEnd::kTransferError && code == CURLE_OPERATION_TIMEDOUT;
}

AttemptOutcome OutcomeOfHttpResult(int result) {
  if (result == 200) return {AttemptEnd::kSuccess, 0};
  if (result < 100) return {AttemptEnd::kTransferError, result};
  return {AttemptEnd::kHttpStatus, result};
}

int WireResult(const AttemptOutcome& outcome) {
  switch (outcome.end) {
    case AttemptEnd::kSuccess:
      return 200;
    case AttemptEnd::kTransferError:
    case AttemptEnd::kHttpStatus:
    case AttemptEnd::kNotWhole:
      return outcome.code;
    case AttemptEnd::kTargetNotOpened:
      return 0;
    case AttemptEnd::kFallbackFailed:
      // The fallback only runs after a time-out and reports as one.
      return CURLE_OPERATION_TIMEDOUT;
    case AttemptEnd::kFallbackNotStarted:
      return kFallbackNotStartedResult;
  }
  return 0;
}
