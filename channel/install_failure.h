// How an install fails, as the workers know it, and the process exit code
// each failure ends with. The exit codes are what a deployment tool sees
// (base/exit_codes.h); this is the one place that maps a failure onto them,
// read by the window's run and by the tests alike.
//
// Portable; pure values, any thread.
#pragma once
#include <optional>
#include <string>

#include "base/exit_codes.h"
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

// The exit code of each kind of failure, one row per kind.
struct FailureExitCode {
  InstallFailureKind kind;
  ExitCode code;
};
inline constexpr FailureExitCode kFailureExitCodes[] = {
    {InstallFailureKind::kDownloadFailed, ExitCode::kDownloadFailed},
    {InstallFailureKind::kInstallerNotStarted, ExitCode::kInstallerNotStarted},
    {InstallFailureKind::kInstallerFailed, ExitCode::kInstallerFailed},
    {InstallFailureKind::kPackageRejected, ExitCode::kPackageRejected},
    {InstallFailureKind::kProxyAuthRequired, ExitCode::kProxyAuthRequired},
    {InstallFailureKind::kInternalError, ExitCode::kInternalError},
};

// The row of this kind in kFailureExitCodes (kInternalError for a value
// outside the enumeration).
ExitCode ExitCodeFor(InstallFailureKind kind);
// The exit code of this failure: its kind's, except that a download whose
// last attempt got bytes but not the whole file (results 1003..1005) is a
// file that was not whole (kPackageRejected's code), not a download that no
// domain answered.
ExitCode ExitCodeFor(const InstallFailure& failure);
