// How one attempt of the package download ended, as a type rather than one
// int whose ranges mean different things. The install report and the failure
// text still carry the historical integer; WireResult is the only place that
// makes it.
#pragma once

enum class AttemptEnd {
  kSuccess,             // the whole file arrived
  kTransferError,       // libcurl ended the single stream; `code` is its CURLcode
  kHttpStatus,          // the server answered with `code`, a status other than 200
  kTargetNotOpened,     // the target file could not be opened; nothing was requested
  kFallbackFailed,      // the segmented fallback ran and reported an error
  kFallbackNotStarted,  // the segmented fallback could not start
  kNotWhole,            // bytes arrived but not the whole announced file; `code` is a result of
                        // download_error.h (length disagreement, write/flush/close failure, size)
};

struct AttemptOutcome {
  AttemptEnd end = AttemptEnd::kSuccess;
  int code = 0;  // the CURLcode or HTTP status; 0 for the other ends

  bool Succeeded() const { return end == AttemptEnd::kSuccess; }
  // The single stream ran out of its whole-transfer time limit.
  bool TimedOut() const;
  bool operator==(const AttemptOutcome& o) const { return end == o.end && code == o.code; }
  bool operator!=(const AttemptOutcome& o) const { return !(*this == o); }
};

// Classifies a result of HttpClient::Get (200 success, below 100 a libcurl
// code, 100 and above an HTTP status).
AttemptOutcome OutcomeOfHttpResult(int result);

// The integer the install report's records and the failure text carry:
// 200, the libcurl code, the HTTP status, 0 (target not opened), 28
// (fallback failed), 1001 (fallback not started) or, for a file that is not
// whole, 1002..1005 (download_error.h).
int WireResult(const AttemptOutcome& outcome);
