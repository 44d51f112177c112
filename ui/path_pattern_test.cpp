#include "ui/path_pattern.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif
#include <regex>

#include "base/text_convert.h"

namespace {

using K = DriveKind;

const std::wstring kTail = LR"re(]:(\\|/){1}[^\\/:*?"<>|]+((\\|/){1}[^\\/:*?"<>|]+)*(\\|/)?)re";

TEST(PathPattern, KeepsRemovableFixedAndRemoteDrivesUpperThenLower) {
  struct Case {
    const char* name;
    std::vector<LogicalDrive> drives;
    std::wstring letters;
  };
  const Case cases[] = {
      {"fixed C, CD-ROM E", {{L'C', K::Fixed}, {L'E', K::CdRom}}, L"Cc"},
      {"every kept kind", {{L'A', K::Removable}, {L'C', K::Fixed}, {L'Z', K::Remote}}, L"ACZacz"},
      {"every dropped kind",
       {{L'B', K::Unknown}, {L'D', K::NoRootDir}, {L'E', K::CdRom}, {L'R', K::RamDisk}},
       L""},
      {"lower-case letters given", {{L'd', K::Fixed}}, L"Dd"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildPathPattern(c.drives), L"[" + c.letters + kTail) << c.name;
}

TEST(PathPattern, AtMostTwentySixLetters) {
  std::vector<LogicalDrive> drives;
  for (int i = 0; i < 30; ++i) drives.push_back({static_cast<wchar_t>(L'A' + i % 26), K::Fixed});
  const std::wstring p = BuildPathPattern(drives);
  const std::wstring cls = p.substr(1, p.find(L']') - 1);
  EXPECT_EQ(cls.size(), 52u) << WideToUtf8(cls);
}

TEST(FolderValidation, FolderMatchesWithOneFixedDriveAndOneCdRom) {
  FolderPattern pattern(BuildPathPattern({{L'C', K::Fixed}, {L'E', K::CdRom}}));
  struct Case {
    std::wstring folder;
    bool valid;
  };
  const Case cases[] = {
      {L"C:\\Games", true},
      {L"c:/games/x/", true},
      {L"C:\\Program Files (x86)\\Quorvane", true},
      {L"C:\\Games\\", true},
      {L"C:/a\\b/c", true},
      {L"E:\\Games", false},  // CD-ROM
      {L"e:\\Games", false},
      {L"D:\\Games", false},  // no such drive
      {L"C:\\", false},       // no name after the separator
      {L"C:", false},
      {L"C:Games", false},
      {L"C:\\a?b", false},
      {L"C:\\a*b", false},
      {L"C:\\a\"b", false},
      {L"C:\\a<b>", false},
      {L"C:\\a|b", false},
      {L"C:\\a:b", false},
      {L"C:\\\\Games", false},  // an empty name between separators
      {L"C:\\Games\\\\", false},
      {L"\tC:\\Games", false},  // a tab is not trimmed
      {L" C:\\Games", false},   // the pattern itself takes no blanks before the letter
      {L"", false},
      {L"CC:\\Games", false},
      {L"C:\\Spiele\x00FC\\\x6E38\x620F", true},  // any letters in names
  };
  for (const Case& c : cases) EXPECT_EQ(pattern.Matches(c.folder), c.valid) << WideToUtf8(c.folder);
}

TEST(FolderValidation, NoDriveAcceptsNothing) {
  FolderPattern pattern(BuildPathPattern({{L'E', K::CdRom}}));
  for (const wchar_t* folder : {L"C:\\Games", L"]:\\Games", L"E:\\Games", L":\\Games"})
    EXPECT_FALSE(pattern.Matches(folder)) << WideToUtf8(folder);
}

// The matcher against the regular expression itself (ECMAScript, whole text):
// every text of up to five characters over an alphabet that holds letters in
// and out of the class, both separators, a forbidden character, a blank and
// one beyond ASCII.
TEST(FolderValidation, AcceptsExactlyWhatThePatternsRegularExpressionAccepts) {
  const std::vector<std::vector<LogicalDrive>> driveSets = {
      {{L'C', K::Fixed}},
      {{L'C', K::Fixed}, {L'Z', K::Remote}, {L'E', K::CdRom}},
  };
  const std::wstring alphabet = L"CcEz:\\/?a \x00FC";
  for (const auto& drives : driveSets) {
    const std::wstring pattern = BuildPathPattern(drives);
    const FolderPattern matcher(pattern);
    const std::wregex regex(pattern, std::regex::ECMAScript);
    std::vector<std::wstring> texts = {L""};
    size_t checked = 0, accepted = 0;
    for (size_t length = 0; length <= 5; ++length) {
      std::vector<std::wstring> longer;
      for (const std::wstring& t : texts) {
        const bool expected = std::regex_match(t, regex);
        ASSERT_EQ(matcher.Matches(t), expected) << WideToUtf8(pattern) << " on " << WideToUtf8(t);
        ++checked;
        accepted += expected;
        if (length < 5)
          for (wchar_t c : alphabet) longer.push_back(t + c);
      }
      texts = std::move(longer);
    }
    EXPECT_GT(accepted, 0u);
    EXPECT_LT(accepted, checked);
  }
}

TEST(FolderValidation, PatternsNotOfTheBuiltFormAcceptNothing) {
  const std::wstring tail = kTail;
  for (const std::wstring& pattern :
       {L"[^C" + tail, L"[A-Z" + tail, L"[C\\]" + tail, L"C" + tail, L"[C" + tail + L"x", std::wstring(L".*")})
    EXPECT_FALSE(FolderPattern(pattern).Matches(L"C:\\Games")) << WideToUtf8(pattern);
}

TEST(FolderValidation, LongFoldersNeverCrashTheMatcher) {
  FolderPattern pattern(BuildPathPattern({{L'C', K::Fixed}}));
  struct Case {
    const char* name;
    std::wstring folder;
    bool valid;
  };
  std::wstring manyParts = L"C:";
  while (manyParts.size() + 2 <= kMaxMatchedFolderLength) manyParts += L"\\a";
  const Case cases[] = {
      {"one long name at the limit", L"C:\\" + std::wstring(kMaxMatchedFolderLength - 3, L'a'), true},
      {"many short names at the limit", manyParts, true},
      {"one past the limit", L"C:\\" + std::wstring(kMaxMatchedFolderLength - 2, L'a'), false},
      {"a whole command line", L"C:\\" + std::wstring(32000, L'a'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(pattern.Matches(c.folder), c.valid) << c.name;
}

TEST(FolderValidation, OnlySpacesAreTrimmed) {
  struct Case {
    std::wstring text, trimmed;
  };
  const Case cases[] = {
      {L"  C:\\Games  ", L"C:\\Games"},
      {L"C:\\My Games", L"C:\\My Games"},
      {L"\tC:\\Games", L"\tC:\\Games"},
      {L"C:\\Games\t ", L"C:\\Games\t"},
      {L"\x3000"
       L"C:\\Games",
       L"\x3000"
       L"C:\\Games"},  // ideographic space stays
      {L"    ", L""},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << WideToUtf8(c.text);
}

TEST(BrowsedFolder, AppendsTheProductFolder) {
  struct Case {
    std::wstring picked, folder;
  };
  const Case cases[] = {
      {L"D:\\", L"D:\\Quorvane"},
      {L"D:\\Games", L"D:\\Games\\Quorvane"},
      {L"D:\\ab", L"D:\\ab\\Quorvane"},
      {L"\\\\server\\share", L"\\\\server\\share\\Quorvane"},
      // A picked folder that already ends with a separator gets no second
      // one: the pattern rejects an empty name between two separators.
      {L"D:\\Games\\", L"D:\\Games\\Quorvane"},
      {L"D:/Games/", L"D:/Games/Quorvane"},
  };
  for (const Case& c : cases) EXPECT_EQ(ComposeBrowsedFolder(c.picked), c.folder) << WideToUtf8(c.picked);
}

// Usable = matches the pattern and survives the ANSI code page. Natively that
// code page is UTF-8 (only a lone surrogate is lost); under Wine it is 1252.
TEST(PathPattern, UsableFolderMatchesAndSurvivesTheAnsiCodePage) {
#ifdef _WIN32
  ASSERT_EQ(GetACP(), 1252u) << "the rows below are for code page 1252";
  const bool windows = true;
#else
  const bool windows = false;
#endif
  const FolderPattern pattern(BuildPathPattern({{L'C', K::Fixed}, {L'D', K::Fixed}}));
  struct Case {
    const char* name;
    std::wstring folder;
    bool onWindows, natively;
  };
  const Case cases[] = {
      {"plain", L"D:\\Gry\\Quorvane", true, true},
      {"Western letters", L"C:\\Spiele\\\x00DC" L"bung caf\x00E9", true, true},
      {"Polish and Cyrillic", L"D:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C", false, true},
      {"Cyrillic only", L"D:\\\x0414\x043E\x043C", false, true},
      {"best fit only", L"D:\\Gry\\Z\x0142ote", false, true},
      {"Japanese", L"C:\\\x30B2\x30FC\x30E0", false, true},
      {"lone surrogate", L"C:\\a" + std::wstring(1, static_cast<wchar_t>(0xDC00)), false, false},
      {"convertible but no pattern match", L"E:\\Games", false, false},
      {"lossy and no pattern match", L"E:\\\x0414\x043E\x043C", false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FolderUsable(pattern, c.folder), windows ? c.onWindows : c.natively) << c.name;
  // The pattern itself takes any character but its forbidden ones, a lone
  // surrogate too: only usability turns such a folder down.
  EXPECT_TRUE(pattern.Matches(L"C:\\a" + std::wstring(1, static_cast<wchar_t>(0xDC00))));
}

}  // namespace
