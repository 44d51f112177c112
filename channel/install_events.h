// What an install's workers tell the rest of the program: facts, never
// window messages or display text. The window's adapter (ui/) turns them into
// what the window shows; a test records them.
//
// Threads: every call comes from a worker thread (the channel thread, the
// segmented downloader's threads or the progress-pipe reader), possibly from
// two at once. An implementation must be thread-safe, must not block for
// long and must not throw.
#pragma once
#include <optional>
#include <string>

#include "download/attempt_outcome.h"

enum class InstallFailureKind {
  kDownloadFailed,       // no domain delivered the full installer
  kInstallerNotStarted,  // the downloaded installer could not be held or started
  kInstallerFailed,      // the full installer ran and ended with a non-zero exit code
  kPackageRejected,      // the download was not whole or not signed by the vendor; never started
  kProxyAuthRequired,    // every route failed and a proxy asked for credentials
  kInternalError,        // the run could not go on: a thread did not start, or the controller
                         // ended (by an exception) without an outcome
};

struct InstallFailure {
  InstallFailureKind kind = InstallFailureKind::kDownloadFailed;
  // The last download attempt that failed, also when a later one succeeded
  // (the window names it when nothing more precise is known); none when no
  // attempt failed.
  std::optional<AttemptOutcome> lastDownloadFailure;
  // The failure message the full installer wrote into the progress pipe, as
  // written (its own localized text); empty when it wrote none.
  std::wstring installerText;
  // kPackageRejected: why, for the failure report ("unsigned 0x800B0100");
  // empty otherwise.
  std::wstring rejectionReason{};
};

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
