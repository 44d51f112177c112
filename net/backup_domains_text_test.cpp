#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/build_version.h"
#include "net/backup_domains.h"

namespace {

using Map = std::map<std::string, std::string>;

TEST(JoinHeaderLines, JoinsInNameOrderWithSeparatorBetweenOnly) {
  struct Case {
    const char* name;
    Map map;
    std::string separator;
    std::string expected;
  } cases[] = {
      {"empty map", {}, "\r\n", ""},
      {"one entry, no separator after it",
       {{"Accept", "application/json"}},
       "\r\n",
       "Accept:application/json"},
      {"byte-wise name order", {{"b", "2"}, {"a", "1"}, {"B", "3"}}, "\r\n", "B:3\r\na:1\r\nb:2"},
      {"empty value keeps the colon",
       {{"Client-Build-Version", ""}, {"X", "y"}},
       "|",
       "Client-Build-Version:|X:y"},
      {"value copied verbatim", {{"User", " a b "}}, ",", "User: a b "},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinHeaderLines(c.map, c.separator), c.expected) << c.name;
}

TEST(BuildQueryString, SkipsEmptyValuesAndEncodesOnRequest) {
  struct Case {
    const char* name;
    Map map;
    bool encode;
    std::string expected;
  } cases[] = {
      {"directory query",
       {{"version", "3.0.0"}, {"client_type", "10"}},
       false,
       "client_type=10&version=3.0.0"},
      {"empty map", {}, true, ""},
      {"empty value skipped in the middle", {{"a", "1"}, {"b", ""}, {"c", "3"}}, false, "a=1&c=3"},
      // The "&" depends on the map position, not on what was written before.
      {"empty first value leaves a leading separator", {{"a", ""}, {"b", "2"}}, false, "&b=2"},
      {"all values empty", {{"a", ""}, {"b", ""}}, false, ""},
      {"encoded value", {{"q", "a b&c=d"}}, true, "q=a%20b%26c%3Dd"},
      {"unencoded value verbatim", {{"q", "a b&c"}}, false, "q=a b&c"},
      {"keys never encoded", {{"k y", "v"}}, true, "k y=v"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildQueryString(c.map, c.encode), c.expected) << c.name;
}

TEST(PercentEncode, KeepsUnreservedAndEncodesEveryOtherByte) {
  struct Case {
    const char* name;
    std::string text;
    std::string expected;
  } cases[] = {
      {"empty", "", ""},
      {"unreserved", "AZaz09-_.~", "AZaz09-_.~"},
      {"reserved characters", " !*'();:@&=+$,/?#[]",
       "%20%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%23%5B%5D"},
      {"percent itself", "100%", "100%25"},
      {"control bytes and NUL", std::string("a\0\n\x7f", 4), "a%00%0A%7F"},
      {"UTF-8 bytes upper-case hex", "\xC3\xA9\xFF", "%C3%A9%FF"},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentEncode(c.text), c.expected) << c.name;
}

TEST(BuildVersionFromFileVersion, FourthOfExactlyFourPieces) {
  struct Case {
    const char* name;
    std::string fileVersion;
    std::string expected;
  } cases[] = {
      {"four pieces", "3.0.0.1234", "1234"},
      {"three pieces", "3.0.1234", ""},
      {"five pieces", "3.0.0.12.34", ""},
      {"empty", "", ""},
      {"one piece", "1234", ""},
      {"trailing dot dropped", "3.0.0.1234.", "1234"},
      {"empty middle piece counts", "3..0.77", "77"},
      {"two trailing dots make an empty fourth", "3.0.0..", ""},
      {"three pieces and a trailing dot", "3.0.0.", ""},
      {"leading empty piece counts", ".0.0.5", "5"},
      {"no trimming", "3.0.0. 12 ", " 12 "},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildVersionFromFileVersion(c.fileVersion), c.expected) << c.name;
}

TEST(ClientBuildVersion, ReadsTheRunningExecutable) {
#ifdef _WIN32
  // This test executable carries FileVersion "3.0.0.1234".
  EXPECT_EQ(ClientBuildVersion(), "1234");
#else
  EXPECT_EQ(ClientBuildVersion(), "");
#endif
}

}  // namespace
