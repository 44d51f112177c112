#include "download/download_progress.h"

bool ProgressThrottle::Pass(int64_t received, int64_t total, Clock::time_point now) {
  const bool end = total > 0 && received >= total;
  // A transfer that starts the file again leaves the end behind it.
  if (!end) endReported = false;
  const bool due = !reported || (end && !endReported) || now - last >= kProgressInterval;
  if (!due) return false;
  reported = true;
  endReported = end;
  last = now;
  return true;
}
