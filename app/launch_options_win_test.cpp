// The platform's argument splitting, under Wine.
#include <gtest/gtest.h>

#include "app/launch_options.h"

TEST(ParseCommandLine, SplitsWithThePlatformRules) {
  struct Case {
    const wchar_t* commandLine;
    const wchar_t* installPath;
    const wchar_t* forwarded;
  };
  const Case cases[] = {
      {L"-install-path \"C:\\Program Files (x86)\\Quorvane\" -x", L"C:\\Program Files (x86)\\Quorvane", L"-x"},
      {L"\"a b\" c", L"", L"a b c"},
      {L"-install-path C:\\Games\\ \"x\\\"y\"", L"C:\\Games\\", L"x\"y"},
      // Two backslashes before a quote give one; the quote groups. (Not as the
      // first argument, which follows the program-name rules.)
      {L"x a\\\\\"b c\"", L"", L"x a\\b c"},
  };
  for (const auto& c : cases) {
    LaunchOptions o = ParseCommandLine(c.commandLine);
    EXPECT_EQ(o.installPath, c.installPath) << c.commandLine;
    EXPECT_EQ(o.forwardedArgs, c.forwarded) << c.commandLine;
  }
}

TEST(ParseCommandLine, EmptyCommandLineForwardsTheProgramPath) {
  LaunchOptions o = ParseCommandLine(L"");
  EXPECT_FALSE(o.forwardedArgs.empty());
  EXPECT_NE(o.forwardedArgs.find(L"launch_options_tests"), std::wstring::npos) << o.forwardedArgs;
  EXPECT_FALSE(o.silent);
  EXPECT_FALSE(o.autoStart);
}

TEST(OwnFileName, IsTheRunningExecutablesName) { EXPECT_EQ(OwnFileName(), L"launch_options_tests.exe"); }
