#include "telemetry/user_agent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/text_convert.h"
#include "telemetry/device_identity.h"

namespace {

constexpr unsigned kUtf8 = 65001;

TEST(FormatUserAgentLine, FieldsInOrder) {
  struct Case {
    const char* name;
    std::string os;
    std::wstring channel;
    std::string id;
    std::string language;
    std::string expected;
  };
  const Case cases[] = {
      {"typical", "windows7.0x64", L"5", "0A1B2C3D4E5F", "English",
       "User-Agent: PC/Windows/windows7.0x64/5/Quorvane-PC/3.0.0/0A1B2C3D4E5F/English"},
      {"empty parts", "", L"", "", "", "User-Agent: PC/Windows///Quorvane-PC/3.0.0//"},
      {"UTF-8 language", "windowsx86", L"12", "001122334455", "\xE4\xB8\xAD\xE6\x96\x87",
       "User-Agent: PC/Windows/windowsx86/12/Quorvane-PC/3.0.0/001122334455/\xE4\xB8\xAD\xE6\x96\x87"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatUserAgentLine(c.os, c.channel, c.id, c.language, kUtf8), c.expected) << c.name;
}

// Past 259 bytes the line is cut, never inside a character.
TEST(FormatUserAgentLine, LongLinesCutAtCharacterBoundaries) {
  const std::string head = "User-Agent: PC/Windows/windowsx64/5/Quorvane-PC/3.0.0/0A1B2C3D4E5F/";
  const std::string threeByte = "\xE4\xB8\xAD";  // one character, three bytes
  struct Case {
    const char* name;
    std::wstring channel;
    std::string language;
    size_t expectedSize;
  };
  std::string manyThree;
  for (int i = 0; i < 100; ++i) manyThree += threeByte;
  const Case cases[] = {
      {"exactly 259", L"5", std::string(259 - head.size(), 'a'), 259},
      {"ASCII language cut to 259", L"5", std::string(400, 'a'), 259},
      {"three-byte characters: whole ones only", L"5", manyThree, head.size() + (259 - head.size()) / 3 * 3},
  };
  for (const Case& c : cases) {
    std::string line = FormatUserAgentLine("windowsx64", c.channel, "0A1B2C3D4E5F", c.language, kUtf8);
    EXPECT_EQ(line.size(), c.expectedSize) << c.name;
    EXPECT_EQ(line.compare(0, head.size(), head), 0) << c.name;
    EXPECT_EQ(WideToUtf8(Utf8ToWide(line)), line) << c.name << ": split character";
  }

  // A huge channel id: the cut falls inside the channel id and nothing after it is written.
  std::string line =
      FormatUserAgentLine("windowsx64", std::wstring(5000, L'\u00e9'), "0A1B2C3D4E5F", "English", kUtf8);
  EXPECT_LE(line.size(), 259u);
  EXPECT_EQ(line.find("Quorvane-PC"), std::string::npos);
  EXPECT_EQ(WideToAnsi(AnsiToWide(line)), line) << "split character in the channel id";
}

TEST(FitPrefix, ByteLimitAndBoundaries) {
  struct Case {
    const char* name;
    std::string text;
    size_t max;
    std::string expected;
  };
  const Case cases[] = {
      {"fits", "abc", 3, "abc"},
      {"ASCII cut", "abcdef", 4, "abcd"},
      {"two-byte not split", "a\xC3\xA9\xC3\xA9", 4, "a\xC3\xA9"},
      {"four-byte not split", "\xF0\x9F\x98\x80x", 3, ""},
      {"zero", "abc", 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FitPrefix(c.text, c.max, kUtf8), c.expected) << c.name;
}

TEST(UserAgentLineCache, BuiltOnceEvenUnderConcurrentFirstUse) {
  std::atomic<int> builds{0};
  UserAgentLineCache cache([&](const std::wstring& channel, const std::wstring& language) {
    ++builds;
    return WideToUtf8(channel + L"/" + language);
  });
  std::vector<std::string> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = cache.Get(L"5", L"English"); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(builds.load(), 1);
  for (const auto& s : seen) EXPECT_EQ(s, "5/English");
  // Later calls return the first line whatever they pass.
  EXPECT_EQ(cache.Get(L"77", L"Deutsch"), "5/English");
  EXPECT_EQ(builds.load(), 1);
}

TEST(UserAgentLineCache, DefaultBuildsFromThisMachineWithUtf8Language) {
  UserAgentLineCache cache;
  const std::string& line = cache.Get(L"5", L"\u4e2d\u6587");
  EXPECT_EQ(line, "User-Agent: PC/Windows/" + GetOsDescription() + "/5/Quorvane-PC/3.0.0/" + GetDeviceId() +
                      "/" + "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(&ProcessUserAgentLine(L"9", L"x"), &ProcessUserAgentLine(L"10", L"y"));
}

}  // namespace
