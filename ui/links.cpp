#include "ui/links.h"

#include "base/vendor.h"

std::string AgreementPageUrl() { return Vendor().web + "/agreement-use"; }

std::string DownloadPageUrl(const std::wstring& language) {
  if (language == L"ru") return Vendor().app + "/official/pc/Quorvane_windows_1.exe";
  return Vendor().web + "?cid=1";
}
