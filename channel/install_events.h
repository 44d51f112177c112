// What an install's workers tell the rest of the program: facts, never
// window messages or display text. The window's adapter (ui/) turns them into
// what the window shows; a test records them.
//
// Threads: every call comes from a worker thread (the channel thread, the
// segmented downloader's threads or the progress-pipe reader), possibly from
// two at once. An implementation must be thread-safe, must not block for
// long and must not throw.
#pragma once
#include "channel/install_failure.h"

class InstallEvents {
 public:
  // Bytes of the full installer so far and the expected total (> 0).
  virtual void OnDownloadProgress(double downloaded, double total) = 0;
  // The full installer's own percentage, 0..100, as it wrote it.
  virtual void OnInstallerProgress(long percent) = 0;
  // The full installer ended with exit code 0; the last event of the run.
  virtual void OnFinished() = 0;
  // The install failed; the last event of the run.
  virtual void OnFailed(const InstallFailure& failure) = 0;

 protected:
  ~InstallEvents() = default;
};
