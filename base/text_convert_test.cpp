#include "base/text_convert.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

TEST(TextConvert, RoundTripsUtf8ThroughWide) {
  struct Case { const char* utf8; std::wstring wide; };
  const Case cases[] = {
      {"", L""},
      {"plain", L"plain"},
      {"download failed\xEF\xBC\x8C" "errorcode is\xEF\xBC\x9A", L"download failed\xFF0C" L"errorcode is\xFF1A"},
      {"\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A", L"\x0639\x0631\x0628\x064A"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    EXPECT_EQ(Utf8ToWide(cases[i].utf8), cases[i].wide) << "case " << i;
    EXPECT_EQ(WideToUtf8(cases[i].wide), cases[i].utf8) << "case " << i;
  }
}

TEST(TextConvert, InvalidUtf8DoesNotThrowOrOverrun) {
  const std::string bad[] = {"\xC3", "\xE2\x82", "\xFF\xFE", "a\xF0\x9F\x98"};
  for (const auto& b : bad) {
    std::wstring w = Utf8ToWide(b);
    EXPECT_LE(w.size(), b.size());
  }
}

// Whether a text survives a code page: natively the "ANSI code page" is UTF-8
// (every code page is); on Windows the real tables, with best-fit and default
// characters counted as loss. The Windows rows assume code page 1252 for ANSI
// (Wine's default).
TEST(TextConvert, TellsWhetherTextSurvivesTheCodePage) {
  struct Case {
    const char* name;
    std::wstring text;
    unsigned codePage;
    bool onWindows, natively;
  };
  const std::wstring lone(1, static_cast<wchar_t>(0xD800));
  const Case cases[] = {
      {"empty", L"", 0, true, true},
      {"ASCII folder", L"C:\\Program Files\\Quorvane", 0, true, true},
      {"Western letters and the euro sign in 1252", L"C:\\\x00DC" L"bung\\caf\x00E9 \x20AC", 0, true, true},
      {"Polish and Cyrillic in 1252", L"D:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C", 0, false, true},
      {"best fit only (l with stroke)", L"D:\\Gry\\Z\x0142ote", 1252, false, true},
      {"best fit only (full-width letters)", L"C:\\\xFF21\xFF22", 1252, false, true},
      {"Cyrillic in 1251", L"C:\\\x0414\x043E\x043C", 1251, true, true},
      {"Polish and Cyrillic in UTF-8", L"D:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C", 65001, true, true},
      {"lone surrogate in UTF-8", L"C:\\a" + lone, 65001, false, false},
      {"lone surrogate in 1252", L"C:\\a" + lone, 1252, false, false},
  };
#ifdef _WIN32
  ASSERT_EQ(GetACP(), 1252u) << "the table's ANSI rows are for code page 1252";
#endif
  for (const Case& c : cases) {
#ifdef _WIN32
    EXPECT_EQ(ConvertsLosslessly(c.text, c.codePage), c.onWindows) << c.name;
#else
    EXPECT_EQ(ConvertsLosslessly(c.text, c.codePage), c.natively) << c.name;
#endif
    if (c.codePage == 0) {
      EXPECT_EQ(AnsiLossless(c.text), ConvertsLosslessly(c.text, 0)) << c.name;
    }
  }
}
