#include "ui/main_wnd_rules.h"

OptionsPageRules::OptionsPageRules(OptionsPageView& view, const std::wstring& pattern, const std::wstring& folder)
    : view_(view), pattern_(pattern), folder_(folder) {}

void OptionsPageRules::FolderTextChanged(const std::wstring& fieldText) {
  folder_ = TrimSpaces(fieldText);
  if (FolderValid()) {
    view_.ShowFolderWarning(false);
    if (view_.AgreementSelected()) view_.EnableInstall(true);
  } else {
    view_.ShowFolderWarning(true);
    view_.EnableInstall(false);
  }
}

void OptionsPageRules::AgreementClicked() {
  if (view_.AgreementSelected())
    view_.EnableInstall(false);
  else
    view_.EnableInstall(FolderValid());
}
