// Lines with text from outside in them: a line break or another control
// character inside a line is written escaped, so the text cannot start a
// line of its own in the run log; the program's own lines stay as written.
#include "base/debug_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DebugOutput, ControlCharactersInsideALineAreEscaped) {
  struct Case {
    const char* name;
    std::wstring text;
    std::string written;  // as the sink and the run log receive it
  } cases[] = {
      {"a line of our own", L"install finished; exit code 0", "install finished; exit code 0"},
      {"its own line end stays", L"Client connected immediately!\n", "Client connected immediately!\n"},
      {"tabs and paths stay", L"C:\\Games\\Quorvane\ta", "C:\\Games\\Quorvane\ta"},
      {"forged line from the pipe", L"__update  ReadFile 5\r\nQuorvaneSetup ends; exit code 0\r\n",
       "__update  ReadFile 5\\r\\nQuorvaneSetup ends; exit code 0\r\n"},
      {"lone CR", L"a\rQuorvaneSetup ends; exit code 0", "a\\rQuorvaneSetup ends; exit code 0"},
      {"escape sequence and NUL", std::wstring(L"x\x1B[2Jy\0z", 8), "x\\x1B[2Jy\\x00z"},
      {"DEL", L"a\x7F", "a\\x7F"},
      {"Unicode line breaks", L"a\x2028" L"b\x2029" L"c\x85" L"d", "a\\u2028b\\u2029c\\x85d"},
      {"letters beyond ASCII stay", L"\x0414\x043E\x043C", "\xD0\x94\xD0\xBE\xD0\xBC"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string& line) { lines.push_back(line); });
    DebugOutW(c.text);
    SetDebugSink(nullptr);
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0], c.written) << c.name;
  }
}

TEST(DebugOutput, NarrowLinesAreEscapedAlike) {
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& line) { lines.push_back(line); });
  DebugOut("Domain Throughput Sort Result: [https://a.test\nQuorvaneSetup ends; exit code 0: 1 KB/s]");
  DebugOut("CheckThroughputAndSortDomains failed\n");
  SetDebugSink(nullptr);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Domain Throughput Sort Result: [https://a.test\\nQuorvaneSetup ends; exit code 0: 1 KB/s]");
  EXPECT_EQ(lines[1], "CheckThroughputAndSortDomains failed\n");
}

}  // namespace
