// Why a download, or one of its ranges, ended without the file. Kept typed
// inside the downloader; Code() is the one conversion to the integer that the
// delegate's OnError, the log lines and the install report carry.
#pragma once

// Results of our own, above the HTTP statuses and beside 1001 (the segmented
// fallback could not start, attempt_outcome.cpp), so that a report can never
// confuse them with a libcurl code (below 100) or a status (100..599).
constexpr int kProbeStatusResult = 1002;     // the length probe did not answer 2xx
constexpr int kLengthMismatchResult = 1003;  // the answer's announced length is not the probed one, or none
constexpr int kWriteFailedResult = 1004;     // writing, flushing or closing the target failed
constexpr int kSizeMismatchResult = 1005;    // the closed target does not hold the announced length

class DownloadError {
 public:
  enum class Kind {
    kNone,
    kTransfer,        // a libcurl code: connect, TLS, time-out, short answer, read error, memory
    kHttpStatus,      // the server answered 400 or above
    kProbeStatus,     // the length probe answered outside 2xx (its length is that of an error page)
    kLengthMismatch,  // the answer announced another length than the probe (the file changed)
    kWriteFailed,     // a write, flush or close of the target failed (disk full)
    kSizeMismatch,    // the target on disk is not the announced length
  };

  DownloadError() = default;
  static DownloadError Transfer(int curlCode) { return DownloadError(Kind::kTransfer, curlCode); }
  static DownloadError HttpStatus(long status) {
    return DownloadError(Kind::kHttpStatus, static_cast<int>(status));
  }
  static DownloadError Of(Kind kind) {
    switch (kind) {
      case Kind::kProbeStatus:
        return DownloadError(kind, kProbeStatusResult);
      case Kind::kLengthMismatch:
        return DownloadError(kind, kLengthMismatchResult);
      case Kind::kWriteFailed:
        return DownloadError(kind, kWriteFailedResult);
      case Kind::kSizeMismatch:
        return DownloadError(kind, kSizeMismatchResult);
      default:
        return DownloadError();
    }
  }

  Kind kind() const { return kind_; }
  explicit operator bool() const { return kind_ != Kind::kNone; }
  // The libcurl code (below 100), the HTTP status, one of the results above;
  // 0 for kNone.
  int Code() const { return code_; }

 private:
  DownloadError(Kind kind, int code) : kind_(kind), code_(code) {}
  Kind kind_ = Kind::kNone;
  int code_ = 0;
};
