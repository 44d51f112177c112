// The failure-to-exit-code table: complete and unambiguous, and the one
// exception to it (a download that got bytes but not the whole file).
#include "channel/install_failure.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Every kind has exactly one row, and no two kinds share a code: a
// deployment tool must be able to tell every failure apart. None takes a
// code that means something other than a failed channel run.
TEST(InstallFailure, EveryKindHasAnExitCodeOfItsOwn) {
  const InstallFailureKind kinds[] = {
      InstallFailureKind::kDownloadFailed,    InstallFailureKind::kInstallerNotStarted,
      InstallFailureKind::kInstallerFailed,   InstallFailureKind::kPackageRejected,
      InstallFailureKind::kProxyAuthRequired, InstallFailureKind::kInternalError,
  };
  EXPECT_EQ(std::size(kFailureExitCodes), std::size(kinds));
  std::set<int> codes;
  for (InstallFailureKind kind : kinds) {
    int rows = 0;
    for (const FailureExitCode& row : kFailureExitCodes) rows += row.kind == kind;
    EXPECT_EQ(rows, 1) << "kind " << static_cast<int>(kind);
    codes.insert(ExitCodeValue(ExitCodeFor(kind)));
  }
  EXPECT_EQ(codes.size(), std::size(kinds));
  for (ExitCode other : {ExitCode::kSuccess, ExitCode::kStartFailed, ExitCode::kFolderUnusable, ExitCode::kInterrupted})
    EXPECT_EQ(codes.count(ExitCodeValue(other)), 0u) << ExitCodeValue(other);
}

// A download that got bytes but not the whole file ends as a file that was
// not whole; every other download failure as one that no domain delivered.
TEST(InstallFailure, NotWholeDownloadEndsAsARejectedPackage) {
  using K = InstallFailureKind;
  const struct {
    const char* name;
    InstallFailure failure;
    K endsAs;
  } cases[] = {
      {"announced length differs", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kNotWhole, 1003}, L""},
       K::kPackageRejected},
      {"write failed", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kNotWhole, 1004}, L""}, K::kPackageRejected},
      {"size on disk differs", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kNotWhole, 1005}, L""},
       K::kPackageRejected},
      {"length probe refused", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kNotWhole, 1002}, L""},
       K::kDownloadFailed},
      {"timed out", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kTransferError, 28}, L""}, K::kDownloadFailed},
      {"no attempt", {K::kDownloadFailed, std::nullopt, L""}, K::kDownloadFailed},
      // Only a failed download is judged by its last attempt.
      {"installer failed after a short attempt", {K::kInstallerFailed, AttemptOutcome{AttemptEnd::kNotWhole, 1005}, L""},
       K::kInstallerFailed},
  };
  for (const auto& c : cases) EXPECT_EQ(ExitCodeFor(c.failure), ExitCodeFor(c.endsAs)) << c.name;
}

}  // namespace
