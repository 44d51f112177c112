// Download progress as one snapshot, and the rule that keeps a fast transfer
// from reporting at every libcurl callback (thousands a second on a fast
// line): a report goes out at most once per frame-sized interval, but the
// first one and the one that reaches the total always go out.
#pragma once
#include <chrono>
#include <cstdint>

struct DownloadProgress {
  int64_t received = 0;       // bytes of the file so far, counted from its first byte
  int64_t total = 0;          // the file's length; 0 while unknown
  double bytesPerSecond = 0;  // the transfer's rate (summed over the ranges)
};

// One frame at 60 Hz: a bar redrawn more often shows nothing new.
constexpr std::chrono::milliseconds kProgressInterval{16};

// Not locked: one reporter at a time.
class ProgressThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether a report of `received` of `total` bytes at `now` goes out.
  bool Pass(int64_t received, int64_t total, Clock::time_point now);

 private:
  bool reported = false;
  bool endReported = false;  // the report that reached the total went out
  Clock::time_point last;
};
