// One single-stream GET of the package into its target file, either from
// the first byte or continuing a part already on disk ("Range: bytes=N-").
//
// A continued answer is taken only when it is a 206 that starts at the asked
// byte, names the same total length and, when the part came from the same
// domain, the same validators. A 200 (the server ignores the range) replaces
// the part from the first byte; any other 206 ends that request unwritten and
// the file is asked for once more from the first byte, within the same time
// limit. An answer outside 2xx writes nothing: the part stays for the next
// attempt. Blocks the caller; one thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "download/download_progress.h"
#include "net/transfer_policy.h"

// What an answer said about the whole file; empty texts when not sent.
struct FileValidators {
  std::string etag;
  std::string lastModified;
};

// The part of the file on disk that a request continues.
struct ContinuePoint {
  int64_t have = 0;     // bytes known good at the start of the target; 0: from the beginning
  int64_t total = -1;   // the whole file's length as the part's answer announced it
  bool sameDomain = false;  // the part came from the domain asked now: its validators must agree
  FileValidators validators;
};

struct StreamAnswer {
  // As HttpClient::Get: 200 for an answer taken (a 200, or a 206 that
  // continues the part), below 100 a libcurl code, else the HTTP status.
  int result = 0;
  bool opened = false;       // the target could be opened; nothing was asked otherwise
  bool continued = false;    // the body taken continues the part (it begins at `have`)
  bool fromStart = false;    // a body was written from the file's first byte
  bool restarted = false;    // a 206 that did not fit: the file was asked for from 0
  int64_t total = -1;        // the whole file's length by this answer; -1 unknown (or encoded)
  int64_t announced = -1;    // Content-Length of the body taken
  int64_t received = 0;      // body bytes libcurl received for it
  bool writeFailed = false;  // a write, flush or close of the target failed
  double connectSeconds = 0; // TLS-connect time, else connect time
  FileValidators validators; // of the answer taken
};

// `progress` gets bytes of the file so far and its length (both counted from
// the file's first byte) and the rate, no more often than ProgressThrottle
// lets through; it must not block.
using StreamProgress = std::function<void(const DownloadProgress& progress)>;

StreamAnswer FetchIntoFile(const std::string& url, const std::wstring& path, const ContinuePoint& from,
                           long timeLimitSeconds, const TransferPolicy& policy, const StreamProgress& progress);

// Whether a 206 answer continues `from`: it starts at `have`, names `total`
// as the file's length and, from the same domain, carries no validator that
// differs from the part's.
bool AnswerContinues(const ContinuePoint& from, const std::string& contentRange, const FileValidators& answer);
