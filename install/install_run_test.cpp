#include "install/install_run.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

namespace {

// A window with the named controls the run uses, recording their state.
class RecordingView : public InstallView {
 public:
  std::map<std::wstring, bool> visible, enabled, parentVisible;
  std::map<std::wstring, std::wstring> text;
  std::map<std::wstring, bool> selected{{L"autostart", false}, {L"createshortcut", true}};
  int page = 0, progress = 0;
  bool closed = false;

  void SetControlVisible(const std::wstring& n, bool v) override { visible[n] = v; }
  void SetParentVisible(const std::wstring& n, bool v) override { parentVisible[n] = v; }
  void SetControlEnabled(const std::wstring& n, bool e) override { enabled[n] = e; }
  void SetControlText(const std::wstring& n, const std::wstring& t) override { text[n] = t; }
  bool IsControlSelected(const std::wstring& n) override { return selected[n]; }
  void SelectTabPage(const std::wstring&, int p) override { page = p; }
  int ProgressValue(const std::wstring&) override { return progress; }
  void SetProgressValue(const std::wstring&, int v) override { progress = v; }
  void CloseWindow() override { closed = true; }
};

class StubChannel : public ChannelController {
 public:
  ChannelSettings settings;
  std::wstring status;
  bool ran = false;
  void Configure(const ChannelSettings& s) override { settings = s; }
  void Run() override { ran = true; }
  std::wstring StatusText() override { return status; }
  CdnAttemptStats AttemptStats() override { return {"ID", {}}; }
};

struct Fixture {
  LaunchOptions options;
  RecordingView view;
  StubChannel channel;
  std::mutex lock;
  std::vector<ReportRequest> reports;
  int activations = 0, finishes = 0;

  InstallRunHooks Hooks() {
    InstallRunHooks h;
    h.finishChannelInstall = [this] {
      ++finishes;
      return true;
    };
    h.installFolder = [] { return std::wstring(L"C:\\Games\\Quorvane"); };
    h.userAgentLine = [] { return std::string("User-Agent: test"); };
    h.sendInstallReport = [this](const ReportRequest& r, const CdnAttemptStats& s) {
      std::lock_guard<std::mutex> l(lock);
      EXPECT_EQ(s.attemptId, "ID");
      reports.push_back(r);
    };
    h.prepareActivationReport = [this] {
      return std::function<void()>([this] {
        std::lock_guard<std::mutex> l(lock);
        ++activations;
      });
    };
    return h;
  }
};

TEST(InstallRun, ProgressOnlyRisesAnd101Completes) {
  Fixture f;
  InstallRun run(f.options, f.view, f.channel, nullptr, f.Hooks());
  run.StartInstall();
  run.JoinChannelThread();
  EXPECT_TRUE(f.channel.ran);
  EXPECT_EQ(f.channel.settings.installPath, "C:\\Games\\Quorvane");
  EXPECT_EQ(f.view.page, 1);
  EXPECT_FALSE(f.view.enabled[L"closebtn"]);

  const struct { unsigned value; int bar; } steps[] = {{10, 10}, {5, 10}, {70, 70}, {70, 70}, {99, 99}, {100, 99}};
  for (const auto& s : steps) {
    run.OnChannelProgress(s.value);
    EXPECT_EQ(f.view.progress, s.bar) << "after " << s.value;
    EXPECT_EQ(f.view.page, 1) << "after " << s.value;
  }
  run.OnChannelProgress(101);
  EXPECT_EQ(f.view.page, 2);
  EXPECT_TRUE(f.view.enabled[L"closebtn"]);
  EXPECT_TRUE(run.shortcutWanted);
  run.ShowPage(2);  // a second finished page sends nothing more
  run.JoinReportThreads();
  ASSERT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.reports[0].actionType, "install");
  EXPECT_EQ(f.reports[0].httpCode, 0);
  EXPECT_EQ(f.reports[0].errorModule, "");
  EXPECT_EQ(f.activations, 0);  // no platform and aid in the file name
  EXPECT_FALSE(f.view.closed);
}

TEST(InstallRun, SilentCompletionClosesWithExitCodeZero) {
  Fixture f;
  f.options.silent = true;
  f.options.platformId = L"3";
  f.options.aid = L"901";
  InstallRun run(f.options, f.view, f.channel, nullptr, f.Hooks());
  ExitCode = 7;
  run.OnChannelProgress(InstallRun::kFinished);
  run.JoinReportThreads();
  EXPECT_TRUE(f.view.closed);
  EXPECT_EQ(ExitCode, 0);
  EXPECT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.activations, 1);
}

TEST(InstallRun, FailureShowsTextLinkAndReportsIt) {
  struct Case {
    const wchar_t* status;
    const wchar_t* shown;
    const char* reported;
  };
  const Case cases[] = {
      {L"", L"tt_failed", "tt_failed"},
      {L"Failed to install: disk full", L"Failed to install: disk full", "Failed to install: disk full"},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.channel.status = c.status;
    InstallRun run(f.options, f.view, f.channel, nullptr, f.Hooks());
    run.StartInstall();
    run.OnChannelFailed();
    run.JoinChannelThread();
    run.JoinReportThreads();
    EXPECT_EQ(f.view.page, 1) << c.reported;
    EXPECT_EQ(f.view.text[L"installstatustips"], c.shown);
    EXPECT_TRUE(f.view.parentVisible[L"installstatustips"]);
    EXPECT_FALSE(f.view.visible[L"install_status"]);
    EXPECT_TRUE(f.view.visible[L"installfailed_towebsit"]);
    EXPECT_TRUE(f.view.enabled[L"closebtn"]);
    EXPECT_FALSE(f.view.closed);
    ASSERT_EQ(f.reports.size(), 1u);
    EXPECT_EQ(f.reports[0].httpCode, 2000);
    EXPECT_EQ(f.reports[0].errorModule, c.reported);
  }
}

TEST(InstallRun, LaunchedByChannelSendsOnlyTheActivation) {
  Fixture f;
  f.options.launchedByChannel = true;
  f.options.platformId = L"3";
  f.options.aid = L"901";
  InstallRun run(f.options, f.view, f.channel, nullptr, f.Hooks());
  run.OnChannelFailed();
  run.OnChannelProgress(InstallRun::kFinished);
  run.JoinReportThreads();
  EXPECT_TRUE(f.reports.empty());
  EXPECT_EQ(f.activations, 1);
}

}  // namespace
