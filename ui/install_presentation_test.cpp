// How the window presents the workers' events: the bar's scale, the failure
// texts and, in the Windows build, the adapter that posts them to a real
// message-only window.
#include "ui/install_presentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "ui/text_table.h"

#ifdef _WIN32
#include "ui/channel_messages.h"
#include "ui/window_install_events_win.h"
#endif

namespace {

TEST(InstallPresentation, InstallerPercentOnTheBar) {
  const struct {
    long percent;
    unsigned bar;
  } cases[] = {{0, 70}, {5, 71}, {6, 71}, {7, 72}, {42, 82}, {50, 84}, {99, 98}, {100, 99}};
  for (const auto& c : cases) EXPECT_EQ(InstallerBarValue(c.percent), c.bar) << c.percent;
  unsigned last = 0;
  for (long v = 0; v <= 100; ++v) {
    unsigned p = InstallerBarValue(v);
    EXPECT_GE(p, 70u) << v;
    EXPECT_LE(p, 99u) << v;
    EXPECT_GE(p, last) << v;
    last = p;
  }
}

TEST(InstallPresentation, DownloadOnTheBar) {
  const struct {
    double done, total;
    unsigned bar;
  } cases[] = {{50, 100, 35}, {1000, 1000, 70}, {35, 100, 24}, {0, 100, 0}};
  for (const auto& c : cases) EXPECT_EQ(DownloadBarValue(c.done, c.total), c.bar) << c.done << "/" << c.total;
}

class FailureTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseTextTable();
    ASSERT_TRUE(LoadLanguageText("<?xml version=\"1.0\" encoding=\"utf-8\"?><Res>"
                                 "<Text id=\"tt_downstatus_failed\" value=\"Download failed\"/>"
                                 "<Text id=\"tt_proxy_auth_required\" value=\"Proxy wants credentials\"/>"
                                 "<Text id=\"tt_download_rejected\" value=\"Rejected\"/></Res>"));
  }
  void TearDown() override { ReleaseTextTable(); }
};

TEST_F(FailureTextTest, MostPreciseKnownCauseWins) {
  using K = InstallFailureKind;
  const AttemptOutcome refused{AttemptEnd::kTransferError, 7};
  const struct {
    const char* name;
    InstallFailure failure;
    std::wstring text;
  } cases[] = {
      {"download, refused", {K::kDownloadFailed, refused, L""}, L"Download failed 7"},
      {"download, HTTP status", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kHttpStatus, 404}, L""},
       L"Download failed 404"},
      {"download, target not opened", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kTargetNotOpened, 0}, L""},
       L"Download failed 0"},
      {"download, fallback failed", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kFallbackFailed, 0}, L""},
       L"Download failed 28"},
      {"download, fallback not started",
       {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kFallbackNotStarted, 0}, L""},
       L"Download failed 1001"},
      {"download, no domain at all", {K::kDownloadFailed, std::nullopt, L""}, L""},
      {"installer, its own message", {K::kInstallerFailed, refused, L"Failed to install: disk full"},
       L"Failed to install: disk full"},
      // A download attempt that failed before one succeeded still names the failure.
      {"installer, after a failed attempt", {K::kInstallerFailed, refused, L""}, L"Download failed 7"},
      {"installer, nothing known", {K::kInstallerFailed, std::nullopt, L""}, L"tt_failed"},
      {"installer not started", {K::kInstallerNotStarted, std::nullopt, L""}, L"tt_failed"},
      // The proxy's demand, not the last attempt's code (the direct route's), is the cause.
      {"proxy asks for credentials", {K::kProxyAuthRequired, AttemptOutcome{AttemptEnd::kTransferError, 6}, L""},
       L"Proxy wants credentials"},
      {"download, not whole", {K::kDownloadFailed, AttemptOutcome{AttemptEnd::kNotWhole, 1004}, L""},
       L"Download failed 1004"},
      // A rejected file names its own reason, not an earlier attempt's failure.
      {"rejected, after a failed attempt", {K::kPackageRejected, refused, L"", L"bad digest 0x80096010"},
       L"Rejected (bad digest 0x80096010)"},
      {"rejected, no reason known", {K::kPackageRejected, std::nullopt, L""}, L"tt_download_rejected"},
  };
  for (const auto& c : cases) EXPECT_EQ(FailureText(c.failure), c.text) << c.name;
}

#ifdef _WIN32
// What one posted message carried.
struct Posted {
  UINT message;
  ChannelProgress progress;  // WM_CHANNEL_PROGRESS
  ChannelFailed failed;      // WM_CHANNEL_FAILED
};

bool Same(const std::vector<ChannelProgress>& a, const std::vector<ChannelProgress>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return x.phase == y.phase && x.barValue == y.barValue && x.received == y.received && x.total == y.total;
         });
}

class WindowInstallEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override { DestroyWindow(window); }
  // The messages posted so far with their payloads, taken as the window would.
  std::vector<Posted> Received() {
    std::vector<Posted> got;
    MSG msg;
    while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
      Posted p{msg.message, {}, {}};
      EXPECT_EQ(msg.wParam, 0u);
      if (msg.message == WM_CHANNEL_PROGRESS) p.progress = *TakeChannelMessage<ChannelProgress>(msg.lParam);
      if (msg.message == WM_CHANNEL_FAILED) p.failed = *TakeChannelMessage<ChannelFailed>(msg.lParam);
      got.push_back(p);
    }
    return got;
  }
  HWND window = nullptr;
};

TEST_F(WindowInstallEventsTest, EachEventIsOneSnapshotOnTheBarScale) {
  WindowInstallEvents events(window);
  using P = ProgressPhase;
  const struct {
    const char* name;
    void (*send)(InstallEvents&);
    std::vector<ChannelProgress> posted;
  } cases[] = {
      {"download, half", [](InstallEvents& e) { e.OnDownloadProgress(50, 100); }, {{P::kDownloading, 35, 50, 100}}},
      {"download, all", [](InstallEvents& e) { e.OnDownloadProgress(1000, 1000); },
       {{P::kDownloading, 70, 1000, 1000}}},
      {"download, truncated", [](InstallEvents& e) { e.OnDownloadProgress(35, 100); }, {{P::kDownloading, 24, 35, 100}}},
      {"download, beyond 4 GiB", [](InstallEvents& e) { e.OnDownloadProgress(5e9, 6e9); },
       {{P::kDownloading, 58, 5000000000u, 6000000000u}}},
      {"download, total unknown", [](InstallEvents& e) { e.OnDownloadProgress(10, 0); }, {}},
      {"installer, five", [](InstallEvents& e) { e.OnInstallerProgress(5); }, {{P::kInstallerRunning, 71, 0, 0}}},
      {"installer, all", [](InstallEvents& e) { e.OnInstallerProgress(100); }, {{P::kInstallerRunning, 99, 0, 0}}},
      {"finished", [](InstallEvents& e) { e.OnFinished(); },
       {{P::kInstallerDone, 100, 0, 0}, {P::kFinished, 101, 0, 0}}},
  };
  for (const auto& c : cases) {
    c.send(events);
    std::vector<ChannelProgress> got;
    for (const Posted& p : Received()) {
      EXPECT_EQ(p.message, static_cast<UINT>(WM_CHANNEL_PROGRESS)) << c.name;
      got.push_back(p.progress);
    }
    EXPECT_TRUE(Same(got, c.posted)) << c.name << ": " << got.size() << " messages";
  }
}

TEST_F(WindowInstallEventsTest, FailureTravelsWithItsMessageAfterItsLine) {
  WindowInstallEvents events(window);
  std::vector<std::string> lines;
  SetDebugSink([&lines](const std::string& line) { lines.push_back(line); });
  InstallFailure failure;
  failure.kind = InstallFailureKind::kInstallerFailed;
  events.OnFailed(failure);
  failure.kind = InstallFailureKind::kDownloadFailed;
  failure.installerText = L"Disk full";
  events.OnFailed(failure);
  SetDebugSink(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{"channel install failed, status text: tt_failed",
                                             "channel install failed, status text: Disk full"}));
  const std::vector<Posted> got = Received();
  ASSERT_EQ(got.size(), 2u);
  // Each message keeps its own failure: a later one does not overwrite an earlier one's.
  EXPECT_EQ(got[0].message, static_cast<UINT>(WM_CHANNEL_FAILED));
  EXPECT_EQ(got[0].failed.text, L"tt_failed");
  EXPECT_EQ(got[0].failed.code, ExitCode::kInstallerFailed);
  EXPECT_EQ(got[1].failed.text, L"Disk full");
  EXPECT_EQ(got[1].failed.code, ExitCode::kDownloadFailed);
}

// A window that is gone takes no message (the poster frees the payload); what
// a window never read is discarded with it when the window ends.
TEST_F(WindowInstallEventsTest, PayloadsOfUnreadMessagesAreDiscarded) {
  HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(gone, nullptr);
  DestroyWindow(gone);
  EXPECT_FALSE(PostChannelMessage(gone, WM_CHANNEL_PROGRESS, std::make_unique<ChannelProgress>()));
  // Queued and never read: discarded with its payload.
  ASSERT_TRUE(PostChannelMessage(window, WM_CHANNEL_FAILED, std::make_unique<ChannelFailed>()));
  ASSERT_TRUE(PostChannelMessage(window, WM_CHANNEL_PROGRESS, std::make_unique<ChannelProgress>()));
  DiscardChannelMessages(window);
  EXPECT_TRUE(Received().empty());
}
#endif

}  // namespace
