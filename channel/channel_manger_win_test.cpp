// The controller's own pieces under Wine: progress posting to a real window,
// the published failure text and attempt records, and the installer launch.
#include "channel/channel_manger_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "channel/process_ops_win.h"
#include "install/messages.h"
#include "ui/text_table.h"

namespace {

class ChannelMangerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ChannelSettings settings;
    settings.window = window;
    settings.installPath = "C:\\Games\\Quorvane";
    manager.Configure(settings);
  }
  void TearDown() override { DestroyWindow(window); }
  std::vector<unsigned> Posted() {
    std::vector<unsigned> values;
    MSG msg;
    while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE))
      if (msg.message == WM_CHANNEL_PROGRESS) values.push_back(static_cast<unsigned>(msg.wParam));
    return values;
  }

  HWND window = nullptr;
  ChannelManger manager;
};

TEST_F(ChannelMangerTest, DownloadProgressIsScaledTo70) {
  const struct {
    const char* name;
    bool fromHttpClient;
    double done, total;
    std::vector<unsigned> posted;
  } cases[] = {
      {"single stream, half", true, 50, 100, {35}},
      {"single stream, all", true, 1000, 1000, {70}},
      {"single stream, total unknown", true, 10, 0, {}},
      {"segmented, truncated", false, 35, 100, {24}},
      {"segmented, total unknown", false, 35, 0, {}},
  };
  for (const auto& c : cases) {
    if (c.fromHttpClient) {
      EXPECT_EQ(ChannelManger::HttpProgress(&manager, c.total, c.done, 0, 0), 0) << c.name;
    } else {
      manager.bytesDownloaded = -1;
      manager.OnProgress(c.done, c.total, 0);
      EXPECT_EQ(manager.bytesDownloaded, c.total == 0 ? -1 : static_cast<int>(c.done)) << c.name;
    }
    EXPECT_EQ(Posted(), c.posted) << c.name;
  }
}

TEST_F(ChannelMangerTest, AttemptIdIsMadeOnce) {
  std::string id = manager.AttemptStats().attemptId;
  ASSERT_EQ(id.size(), 32u);
  for (char ch : id) EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')) << id;
  EXPECT_EQ(manager.AttemptStats().attemptId, id);
  ChannelManger other;
  EXPECT_NE(other.AttemptStats().attemptId, id);
  EXPECT_TRUE(manager.StatusText().empty());
}

TEST_F(ChannelMangerTest, WhatTheInstallerWroteBeforeItEndedIsRead) {
  const std::wstring failure = GetText(L"tt_failed") + L": written just before the end";
  const struct {
    const char* name;
    bool connects;
    std::wstring written;
    std::wstring status;
    std::vector<unsigned> posted;
  } cases[] = {
      {"failure text", true, failure, failure, {}},
      {"last progress", true, L"100", L"", {99}},
      {"never connected", false, L"", L"", {}},
  };
  for (const auto& c : cases) {
    ChannelManger m;
    m.window = window;
    std::wstring name;
    ASSERT_TRUE(m.StartPipeReader(&name)) << c.name;
    if (c.connects) {
      // The installer connects, writes and ends at once.
      UniqueHandle client(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(client.valid()) << c.name;
      DWORD n = 0;
      EXPECT_TRUE(WriteFile(client.get(), c.written.data(), DWORD(c.written.size() * 2), &n, nullptr)) << c.name;
    }
    m.StopPipeReader();
    EXPECT_TRUE(m.stopped) << c.name;
    EXPECT_EQ(m.statusText, c.status) << c.name;
    std::vector<unsigned> posted = Posted();
    // A closed end may be read once as 0 (posting 70).
    posted.erase(std::remove(posted.begin(), posted.end(), 70u), posted.end());
    EXPECT_EQ(posted, c.posted) << c.name;
  }
}

// The child of LaunchInstaller: exits with the code it is given.
TEST(ChannelMangerChild, DISABLED_ExitWith) {
  for (int i = 0; i < __argc; ++i) {
    std::string a = __argv[i];
    if (a.rfind("-exit=", 0) == 0) std::exit(std::atoi(a.c_str() + 6));
  }
}

TEST_F(ChannelMangerTest, LaunchInstallerDecidesByExitCodeAndReleasesTheFile) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string copy = TemporaryFolder() + "qv_channel_manger_child.exe";
  ASSERT_TRUE(CopyFileA(own, copy.c_str(), FALSE));
  const struct {
    const char* name;
    std::string folder;
    int exitCode;
    bool result;
  } cases[] = {
      {"exit code 0", "C:\\Games\\Quorvane", 0, true},
      {"exit code 3", "C:\\Games\\Quorvane", 3, false},
      {"folder too long for the command line", "C:\\" + std::string(1100, 'a'), 0, false},
  };
  for (const auto& c : cases) {
    manager.installPath = c.folder;
    manager.forwardedArgs = L"--gtest_also_run_disabled_tests --gtest_filter=ChannelMangerChild.DISABLED_ExitWith -exit=" +
                            std::to_wstring(c.exitCode);
    manager.heldInstaller = HoldFileAgainstChanges(copy);
    ASSERT_TRUE(manager.heldInstaller.valid()) << c.name;
    EXPECT_EQ(manager.LaunchInstaller(copy, L""), c.result) << c.name;
    EXPECT_FALSE(manager.heldInstaller.valid()) << c.name;
  }
  EXPECT_TRUE(DeleteFileA(copy.c_str()));
}

}  // namespace
