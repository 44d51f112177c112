#include "ui/install_presentation.h"

#include "base/text_convert.h"
#include "download/download_error.h"
#include "ui/text_table.h"

unsigned DownloadBarValue(double downloaded, double total) {
  return static_cast<unsigned>(downloaded / total * kBarDownloadEnd);
}

unsigned InstallerBarValue(long percent) {
  // Each step rounded to double: with x87 extended precision (32-bit builds)
  // 100 * 0.29 + 70 would stay just below 99 and truncate to 98.
  volatile double product = percent * 0.29;
  volatile double sum = product + kBarDownloadEnd;
  return static_cast<unsigned>(sum);
}

std::wstring FailureText(const InstallFailure& failure) {
  if (!failure.installerText.empty()) return failure.installerText;
  // Not a download failure: the user's network needs credentials we do not have.
  if (failure.kind == InstallFailureKind::kProxyAuthRequired) return GetText(L"tt_proxy_auth_required");
  if (failure.kind == InstallFailureKind::kPackageRejected) {
    if (failure.rejectionReason.empty()) return L"tt_download_rejected";
    return GetText(L"tt_download_rejected") + L" (" + failure.rejectionReason + L")";
  }
  if (failure.lastDownloadFailure)
    return GetText(L"tt_downstatus_failed") + L" " + DecimalWide(WireResult(*failure.lastDownloadFailure));
  if (failure.kind != InstallFailureKind::kDownloadFailed) return L"tt_failed";
  return std::wstring();
}
