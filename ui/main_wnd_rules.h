// The rules of the options page that tie the installation folder, the
// agreement box, the warning label "pathIsOK" and the "install" button
// together. Works on the window through InstallView; main thread only.
#pragma once
#include <string>

#include "install/install_view.h"
#include "ui/path_pattern.h"

class OptionsPageRules {
 public:
  // `folder` is the installation folder the window starts with; it is not
  // validated now, and "install" stays as the skin has it (enabled).
  OptionsPageRules(InstallView& view, const std::wstring& pattern, const std::wstring& folder);

  // "textchanged" on "installPath": the field's text without surrounding
  // spaces becomes the installation folder (the field keeps its text). Valid:
  // "pathIsOK" hidden and, when the agreement box is selected, "install"
  // enabled. Invalid: "pathIsOK" shown, "install" disabled.
  void FolderTextChanged(const std::wstring& fieldText);

  // "click" on "grantoption", which arrives before the box changes: a box
  // being cleared disables "install"; a box being selected enables it
  // exactly when the folder is valid.
  void AgreementClicked();

  const std::wstring& Folder() const { return folder_; }
  // A folder set by the program (the browser, the default); not validated.
  void SetFolder(const std::wstring& folder) { folder_ = folder; }
  // The folder matches the pattern and survives the ANSI code page (see
  // FolderUsable): the full installer receives it as ANSI text.
  bool FolderValid() const { return FolderUsable(pattern_, folder_); }
  const std::wstring& Pattern() const { return pattern_.Pattern(); }

 private:
  InstallView& view_;
  FolderPattern pattern_;
  std::wstring folder_;
};
