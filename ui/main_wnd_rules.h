// The rules of the options page that tie the installation folder, the
// agreement box, the warning label "pathIsOK" and the "install" button
// together. Works on the window through OptionsPageView; main thread only.
#pragma once
#include <string>

#include "ui/path_pattern.h"

// The options page as the rules see it.
class OptionsPageView {
 public:
  // The warning that the folder is not valid ("pathIsOK").
  virtual void ShowFolderWarning(bool shown) = 0;
  // The "install" button.
  virtual void EnableInstall(bool enabled) = 0;
  // The agreement box ("grantoption").
  virtual bool AgreementSelected() = 0;

 protected:
  ~OptionsPageView() = default;
};

class OptionsPageRules {
 public:
  // `folder` is the installation folder the window starts with; it is not
  // validated now, and "install" stays as the skin has it (enabled).
  OptionsPageRules(OptionsPageView& view, const std::wstring& pattern, const std::wstring& folder);

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
  OptionsPageView& view_;
  FolderPattern pattern_;
  std::wstring folder_;
};
