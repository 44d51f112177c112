#include "ui/main_wnd_rules.h"

namespace {
const wchar_t kInstall[] = L"install";
const wchar_t kPathWarning[] = L"pathIsOK";
const wchar_t kAgreement[] = L"grantoption";
}  // namespace

OptionsPageRules::OptionsPageRules(InstallView& view, const std::wstring& pattern, const std::wstring& folder)
    : view_(view), pattern_(pattern), folder_(folder) {}

void OptionsPageRules::FolderTextChanged(const std::wstring& fieldText) {
  folder_ = TrimSpaces(fieldText);
  if (FolderValid()) {
    view_.SetControlVisible(kPathWarning, false);
    if (view_.IsControlSelected(kAgreement)) view_.SetControlEnabled(kInstall, true);
  } else {
    view_.SetControlVisible(kPathWarning, true);
    view_.SetControlEnabled(kInstall, false);
  }
}

void OptionsPageRules::AgreementClicked() {
  if (view_.IsControlSelected(kAgreement))
    view_.SetControlEnabled(kInstall, false);
  else
    view_.SetControlEnabled(kInstall, FolderValid());
}
