#include "ui/main_wnd_rules.h"

#include <gtest/gtest.h>

#include <map>

#include "base/text_convert.h"
#include "base/vendor.h"
#include "testing/fixtures/options_page_view.h"
#include "ui/links.h"

namespace {

using PageView = testsupport::RecordingPageView;

#ifdef _WIN32
constexpr bool kAnsiIs1252 = true;  // Wine's default; FolderUsable's own test checks it
#else
constexpr bool kAnsiIs1252 = false;
#endif

const std::wstring kPattern = BuildPathPattern({{L'C', DriveKind::Fixed}, {L'E', DriveKind::CdRom}});

TEST(OptionsPageRules, TypedFolderDrivesWarningAndInstall) {
  struct Case {
    std::wstring typed;
    bool agreed;
    bool startEnabled;
    std::wstring folder;
    bool warning, installEnabled;
  };
  const Case cases[] = {
      {L"  C:\\Games  ", true, false, L"C:\\Games", false, true},
      {L"C:\\Games", false, false, L"C:\\Games", false, false},  // valid but not agreed: unchanged
      {L"C:\\Games", false, true, L"C:\\Games", false, true},    // unchanged either way
      {L"E:\\Games", true, true, L"E:\\Games", true, false},
      {L"\tC:\\Games", true, true, L"\tC:\\Games", true, false},
      {L"C:\\", true, true, L"C:\\", true, false},
      {L"   ", true, true, L"", true, false},
      // Natively the ANSI code page is UTF-8 and keeps these; Windows with
      // code page 1252 would hand the full installer C:\Gry\Zlote\???.
      {L"C:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C", true, true, L"C:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C",
       kAnsiIs1252, !kAnsiIs1252},
      {L"C:\\\x00DC" L"bung", true, false, L"C:\\\x00DC" L"bung", false, true},
      // A lone surrogate survives no code page: the folder is refused
      // though the pattern alone would take it.
      {L"C:\\a\xDC00", true, true, L"C:\\a\xDC00", true, false},
  };
  for (const Case& c : cases) {
    PageView view;
    view.agreed = c.agreed;
    view.installEnabled = c.startEnabled;
    OptionsPageRules rules(view, kPattern, L"C:\\Program Files\\Quorvane");
    rules.FolderTextChanged(c.typed);
    const std::string name = WideToUtf8(c.typed);
    EXPECT_EQ(rules.Folder(), c.folder) << name;
    EXPECT_EQ(view.warningShown, c.warning) << name;
    EXPECT_EQ(view.installEnabled, c.installEnabled) << name;
  }
}

TEST(OptionsPageRules, WarningClearsWhenTheFolderBecomesValidAgain) {
  PageView view;
  OptionsPageRules rules(view, kPattern, L"");
  rules.FolderTextChanged(L"C:\\a?b");
  EXPECT_TRUE(view.warningShown);
  EXPECT_FALSE(view.installEnabled);
  rules.FolderTextChanged(L"C:\\ab");
  EXPECT_FALSE(view.warningShown);
  EXPECT_TRUE(view.installEnabled);
}

TEST(OptionsPageRules, AgreementBoxActsBeforeItChanges) {
  struct Case {
    const char* name;
    std::wstring folder;
    bool boxBefore;
    bool installAfter;
  };
  const Case cases[] = {
      {"clearing with a valid folder disables", L"C:\\Games", true, false},
      {"clearing with an invalid folder disables", L"E:\\Games", true, false},
      {"selecting with a valid folder enables", L"C:\\Games", false, true},
      {"selecting with an invalid folder keeps disabled", L"E:\\Games", false, false},
  };
  for (const Case& c : cases) {
    PageView view;
    view.agreed = c.boxBefore;
    view.installEnabled = !c.installAfter;
    OptionsPageRules rules(view, kPattern, L"");
    rules.SetFolder(c.folder);
    rules.AgreementClicked();
    EXPECT_EQ(view.installEnabled, c.installAfter) << c.name;
  }
}

TEST(OptionsPageRules, ClearThenSelectAgainFollowsTheFolder) {
  PageView view;
  OptionsPageRules rules(view, kPattern, L"C:\\Games");
  rules.AgreementClicked();  // clearing
  view.agreed = false;
  EXPECT_FALSE(view.installEnabled);
  rules.FolderTextChanged(L"C:\\Other");  // valid, but the box is clear
  EXPECT_FALSE(view.installEnabled);
  rules.AgreementClicked();  // selecting
  view.agreed = true;
  EXPECT_TRUE(view.installEnabled);
}

TEST(Links, PagesOnTheConfiguredHosts) {
  EXPECT_EQ(AgreementPageUrl(), Vendor().web + "/agreement-use");
  struct Case {
    std::wstring language;
    std::string url;
  };
  const Case cases[] = {
      {L"ru", Vendor().app + "/official/pc/Quorvane_windows_1.exe"},
      {L"en", Vendor().web + "?cid=1"},
      {L"uk", Vendor().web + "?cid=1"},
      {L"arabic", Vendor().web + "?cid=1"},
      {L"RU", Vendor().web + "?cid=1"},
      {L"", Vendor().web + "?cid=1"},
  };
  for (const Case& c : cases) EXPECT_EQ(DownloadPageUrl(c.language), c.url) << WideToUtf8(c.language);
}

}  // namespace
