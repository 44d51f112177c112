#include "base/text_convert.h"

#include <gtest/gtest.h>

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
