// The controller's own pieces under Wine: the attempt records it publishes,
// the progress pipe drained after the installer has ended, and the
// installer launch.
#include "channel/channel_manger_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "channel/process_ops_win.h"
#include "testing/fixtures/recording_install_events.h"

namespace {

TEST(ChannelManger, AttemptIdIsMadeOnce) {
  ChannelManger manager;
  std::string id = manager.AttemptStats().attemptId;
  ASSERT_EQ(id.size(), 32u);
  for (char ch : id) EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')) << id;
  EXPECT_EQ(manager.AttemptStats().attemptId, id);
  EXPECT_TRUE(manager.AttemptStats().attempts.empty());
  ChannelManger other;
  EXPECT_NE(other.AttemptStats().attemptId, id);
}

TEST(ProgressPipeReader, WhatTheInstallerWroteBeforeItEndedIsRead) {
  const std::wstring failedText = L"Failed to install";
  const std::wstring failure = failedText + L": written just before the end";
  const struct {
    const char* name;
    bool connects;
    std::wstring written;
    std::wstring failureText;
    std::vector<long> relayed;
  } cases[] = {
      {"failure text", true, failure, failure, {}},
      {"last progress", true, L"100", L"", {100}},
      {"never connected", false, L"", L"", {}},
  };
  for (const auto& c : cases) {
    RecordingInstallEvents events;
    ProgressPipeReader reader;
    std::wstring name;
    ASSERT_EQ(reader.Start(&events, failedText, &name), PipeReaderStart::kStarted) << c.name;
    if (c.connects) {
      // The installer connects, writes and ends at once.
      UniqueHandle client(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(client.valid()) << c.name;
      DWORD n = 0;
      EXPECT_TRUE(WriteFile(client.get(), c.written.data(), DWORD(c.written.size() * 2), &n, nullptr)) << c.name;
    }
    EXPECT_EQ(reader.Stop(ChannelManger::kReaderDrainMs), c.failureText) << c.name;
    EXPECT_TRUE(reader.Stopped()) << c.name;
    EXPECT_EQ(reader.Stop(0), L"") << c.name << ": taken once";
    std::vector<long> relayed = events.TakeInstallerProgress();
    // A closed end may be read once as 0.
    relayed.erase(std::remove(relayed.begin(), relayed.end(), 0L), relayed.end());
    EXPECT_EQ(relayed, c.relayed) << c.name;
  }
}

// The child of LaunchInstaller: exits with the code it is given.
TEST(ChannelMangerChild, DISABLED_ExitWith) {
  for (int i = 0; i < __argc; ++i) {
    std::string a = __argv[i];
    if (a.rfind("-exit=", 0) == 0) std::exit(std::atoi(a.c_str() + 6));
  }
}

TEST(LaunchInstaller, DecidesByExitCodeAndReleasesTheFile) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string copy = TemporaryFolder() + "qv_channel_manger_child.exe";
  ASSERT_TRUE(CopyFileA(own, copy.c_str(), FALSE));
  const struct {
    const char* name;
    std::string folder;
    int exitCode;
    bool result;
    bool started;
  } cases[] = {
      {"exit code 0", "C:\\Games\\Quorvane", 0, true, true},
      {"exit code 3", "C:\\Games\\Quorvane", 3, false, true},
      {"folder too long for the command line", "C:\\" + std::string(1100, 'a'), 0, false, false},
  };
  for (const auto& c : cases) {
    const std::wstring forwarded =
        L"--gtest_also_run_disabled_tests --gtest_filter=ChannelMangerChild.DISABLED_ExitWith -exit=" +
        std::to_wstring(c.exitCode);
    UniqueHandle held = HoldFileAgainstChanges(copy);
    ASSERT_TRUE(held.valid()) << c.name;
    const LaunchResult launch = LaunchInstaller(copy, L"", c.folder, forwarded, std::move(held));
    EXPECT_EQ(launch.Succeeded(), c.result) << c.name;
    EXPECT_EQ(launch.started, c.started) << c.name;
    EXPECT_EQ(launch.exitCode, c.started ? static_cast<DWORD>(c.exitCode) : 0u) << c.name;
    if (!c.started) {
      EXPECT_EQ(launch.error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE)) << c.name;
    }
    // The file was let go: it can be opened for writing again.
    UniqueHandle writable(CreateFileA(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(writable.valid()) << c.name << ", error " << GetLastError();
  }
  EXPECT_TRUE(DeleteFileA(copy.c_str()));
}

}  // namespace
