#include "telemetry/activation_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ActivationBody, FormatAndEscaping) {
  struct Case {
    const char* name;
    std::wstring aid;
    std::wstring platformId;
    std::string expected;
  };
  const Case cases[] = {
      {"typical", L"901", L"3", "{ \"aid\": \"901\", \"platform_id\": 3 }"},
      {"plain text aid unchanged", L"ab-C.d", L"12", "{ \"aid\": \"ab-C.d\", \"platform_id\": 12 }"},
      {"non-numeric platform id left out", L"901", L"x7", ""},
      {"platform id from a file name with more text", L"901", L"3a_", ""},
      {"platform id with a sign", L"901", L"-3", ""},
      {"platform id with a blank", L"901", L"3 ", ""},
      {"long number", L"901", L"0012345678901234567890", "{ \"aid\": \"901\", \"platform_id\": 0012345678901234567890 }"},
      {"quote cannot add members", L"1\", \"admin\": \"yes", L"3",
       "{ \"aid\": \"1\\\", \\\"admin\\\": \\\"yes\", \"platform_id\": 3 }"},
      {"backslash", L"a\\b", L"3", "{ \"aid\": \"a\\\\b\", \"platform_id\": 3 }"},
      {"control characters", L"a\tb\x01", L"3", "{ \"aid\": \"a\\tb\\u0001\", \"platform_id\": 3 }"},
      {"slash unchanged", L"a/b", L"3", "{ \"aid\": \"a/b\", \"platform_id\": 3 }"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatActivationBody(c.aid, c.platformId), c.expected) << c.name;
}

TEST(ActivationBody, NothingWhenItDoesNotFitTheBuffer) {
  const size_t frame = std::string("{ \"aid\": \"\", \"platform_id\": 3 }").size();
  EXPECT_EQ(FormatActivationBody(std::wstring(1023 - frame, L'a'), L"3").size(), 1023u);
  EXPECT_EQ(FormatActivationBody(std::wstring(1024 - frame, L'a'), L"3"), "");
  // Escapes count: 400 quotes become 800 bytes.
  EXPECT_EQ(FormatActivationBody(std::wstring(600, L'"'), L"3"), "");
}

TEST(PrepareClientActivation, OnlyWithBothIdentifiers) {
  struct Case {
    const char* name;
    std::wstring platformId, aid;
    bool sends;
  };
  const Case cases[] = {
      {"both", L"3", L"901", true},
      {"no aid", L"3", L"", false},
      {"no platform", L"", L"901", false},
      {"neither", L"", L"", false},
  };
  for (const Case& c : cases) {
    ClientActivation a = PrepareClientActivation(c.platformId, c.aid, L"5", L"English");
    EXPECT_EQ(!a.body.empty(), c.sends) << c.name;
    if (c.sends) {
      EXPECT_EQ(a.channelId, L"5") << c.name;
      EXPECT_EQ(a.languageAnsi, "English") << c.name;
    }
  }
  EXPECT_EQ(PrepareClientActivation(L"3", L"9", L"5", std::wstring(400, L'x')).languageAnsi.size(), 259u);
}

TEST(ClientActivationUrl, PathOnTheServiceHost) {
  EXPECT_EQ(ClientActivationUrl("https://127.0.0.1:9"),
            "https://127.0.0.1:9/api/common_bll/v1/client/active");
}

}  // namespace
