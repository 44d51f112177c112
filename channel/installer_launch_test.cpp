#include "channel/installer_launch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

const std::string kPipe = "\\\\.\\pipe\\autoupdate_pipe_quorvane_1234";

TEST(InstallerLaunch, CommandLine) {
  struct Case {
    const char* name;
    std::string pipe, folder, forwarded;
    CommandLineFit fit;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"ordinary", kPipe, "C:\\Program Files (x86)\\Quorvane", "-silent -auto-start", CommandLineFit::kWhole,
       " -pipename=\\\\.\\pipe\\autoupdate_pipe_quorvane_1234  -silent -auto-start  -launch-by-channel "
       "-install-path \"C:\\Program Files (x86)\\Quorvane\" -silent -auto-start "},
      {"no pipe, nothing forwarded", "", "C:\\Q", "", CommandLineFit::kWhole,
       " -pipename=  -silent -auto-start  -launch-by-channel -install-path \"C:\\Q\"  "},
      {"forwarded text kept as is", kPipe, "C:\\Q", "-fail=\"x y\" C:\\Setup.exe", CommandLineFit::kWhole,
       " -pipename=" + kPipe + "  -silent -auto-start  -launch-by-channel -install-path \"C:\\Q\" -fail=\"x y\" "
       "C:\\Setup.exe "},
      {"drive root keeps its backslash", kPipe, "D:\\", "-x", CommandLineFit::kWhole,
       " -pipename=" + kPipe + "  -silent -auto-start  -launch-by-channel -install-path \"D:\\\\\" -x "},
      {"quote in a folder is escaped", kPipe, "C:\\a\\\"b", "", CommandLineFit::kWhole,
       " -pipename=" + kPipe + "  -silent -auto-start  -launch-by-channel -install-path \"C:\\a\\\\\\\"b\"  "},
  };
  for (const Case& c : cases) {
    std::string line;
    EXPECT_EQ(BuildInstallerCommandLine(c.pipe, c.folder, c.forwarded, &line), c.fit) << c.name;
    EXPECT_EQ(line, c.expected) << c.name;
  }
}

TEST(InstallerLaunch, CommandLineNeverExceedsItsBuffer) {
  std::string base;
  ASSERT_EQ(BuildInstallerCommandLine(kPipe, "C:\\Q", "", &base), CommandLineFit::kWhole);
  // base already ends with the blank after the (empty) forwarded text.
  const std::size_t room = kCommandLineBytes - 1 - base.size();
  struct Case {
    const char* name;
    std::string folder;
    std::size_t forwardedLength;
    CommandLineFit fit;
  };
  const std::vector<Case> cases = {
      {"forwarded fills the buffer exactly", "C:\\Q", room, CommandLineFit::kWhole},
      {"one byte more leaves them out whole", "C:\\Q", room + 1, CommandLineFit::kWithoutForwarded},
      {"far too many", "C:\\Q", 5000, CommandLineFit::kWithoutForwarded},
      {"folder alone too long", "C:\\" + std::string(1100, 'a'), 0, CommandLineFit::kTooLong},
  };
  for (const Case& c : cases) {
    std::string line = "unchanged";
    std::string forwarded(c.forwardedLength, 'f');
    CommandLineFit fit = BuildInstallerCommandLine(kPipe, c.folder, forwarded, &line);
    EXPECT_EQ(fit, c.fit) << c.name;
    if (fit == CommandLineFit::kTooLong) {
      EXPECT_EQ(line, "unchanged") << c.name;
      continue;
    }
    EXPECT_LT(line.size(), kCommandLineBytes) << c.name;
    bool forwardedIn = line.find(forwarded + " ") != std::string::npos && !forwarded.empty();
    EXPECT_EQ(forwardedIn, fit == CommandLineFit::kWhole && !forwarded.empty()) << c.name;
    EXPECT_NE(line.find("-install-path \"" + c.folder + "\" "), std::string::npos) << c.name;
  }
}

TEST(InstallerLaunch, PipeNameCarriesTheProcessId) {
  EXPECT_EQ(ProgressPipeName(1234), L"\\\\.\\pipe\\autoupdate_pipe_quorvane_1234");
  // The largest id still fits the 50-unit buffer with its terminator.
  EXPECT_LT(ProgressPipeName(4294967295u).size(), 50u);
}

TEST(InstallerLaunch, AlternativeNameIsTheSameOnEveryRun) {
  std::string first = AlternativeTargetPath("C:\\Temp\\");
  for (int i = 0; i < 7; ++i) std::rand();  // another user of the generator in between
  EXPECT_EQ(AlternativeTargetPath("C:\\Temp\\"), first);
  EXPECT_EQ(first.rfind("C:\\Temp\\ChannelIstaller", 0), 0u);
  EXPECT_EQ(first.substr(first.size() - 4), ".exe");
  EXPECT_NE(first, "C:\\Temp\\ChannelIstaller.exe");
}

}  // namespace
