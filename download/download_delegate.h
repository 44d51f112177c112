// What the segmented downloader tells its user (Downloader::Delegate). Its
// own header, so that the parts of the downloader below Downloader can report
// without knowing it.
#pragma once
#include <cstdint>

#include "download/download_progress.h"

// Notifications, called on the downloader's threads (OnProgress also from
// inside libcurl's progress callback); the implementation must be safe to
// call from them and must not call back into the downloader. Not deleted
// through this interface.
//
// OnProgress reports come one at a time, at most one per kProgressInterval
// (the first one and the one that reaches the total always).
class DownloadDelegate {
 public:
  virtual void OnProgress(const DownloadProgress& progress) = 0;
  virtual void OnStart() {}
  // A libcurl code (below 100) or an HTTP status of 400 or more.
  virtual void OnError(int code) = 0;
  virtual void OnComplete() = 0;
  virtual void OnMergeProgress(int64_t bytesInTarget) {}
  virtual void OnMergeStart() {}

 protected:
  ~DownloadDelegate() = default;
};
