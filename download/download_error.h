// Why a download, or one of its ranges, ended without the file. Kept typed
// inside the downloader; Code() is the one conversion to the integer that the
// delegate's OnError and the log lines carry.
#pragma once

class DownloadError {
 public:
  enum class Kind {
    kNone,
    kTransfer,    // a libcurl code: connect, TLS, time-out, short answer, write or read error, memory
    kHttpStatus,  // the server answered 400 or above
  };

  DownloadError() = default;
  static DownloadError Transfer(int curlCode) { return DownloadError(Kind::kTransfer, curlCode); }
  static DownloadError HttpStatus(long status) {
    return DownloadError(Kind::kHttpStatus, static_cast<int>(status));
  }

  Kind kind() const { return kind_; }
  explicit operator bool() const { return kind_ != Kind::kNone; }
  // The libcurl code (below 100) or the HTTP status; 0 for kNone.
  int Code() const { return code_; }

 private:
  DownloadError(Kind kind, int code) : kind_(kind), code_(code) {}
  Kind kind_ = Kind::kNone;
  int code_ = 0;
};
