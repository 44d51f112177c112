#include "ui/install_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <system_error>
#include <mutex>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "ui/install_presentation.h"

namespace {

// The window as the run sees it, recording what it was asked to show.
class RecordingView : public InstallView {
 public:
  InstallPage page = InstallPage::kOptions;
  int progress = 0;
  std::wstring failure;
  ChosenOptions chosen{false, true};
  bool closed = false;

  void ShowPage(InstallPage p) override { page = p; }
  int ProgressValue() override { return progress; }
  void SetProgressValue(int v) override { progress = v; }
  void ShowFailure(const std::wstring& text) override { failure = text; }
  ChosenOptions Choices() override { return chosen; }
  std::wstring InstallFolder() override { return L"C:\\Games\\Quorvane"; }
  std::wstring LanguageText() override { return L"English"; }
  void CloseWindow() override { closed = true; }
};

class StubChannel : public ChannelController {
 public:
  ChannelSettings settings;
  bool ran = false;
  bool configured = false;
  void Configure(const ChannelSettings& s) override {
    settings = s;
    configured = true;
  }
  // A controller that keeps its contract: its run ends with an outcome.
  void Run() override {
    ran = true;
    settings.events->OnFinished();
  }
  CdnAttemptStats AttemptStats() override { return {"ID", {}}; }
};

// What reaches the window's adapter, from the channel thread.
class RecordingEvents : public InstallEvents {
 public:
  void OnDownloadProgress(double, double) override { Count(progress); }
  void OnInstallerProgress(long) override { Count(progress); }
  void OnFinished() override { Count(finished); }
  void OnFailed(const InstallFailure& f) override {
    std::lock_guard<std::mutex> l(lock);
    failures.push_back(f);
  }
  std::mutex lock;
  int progress = 0, finished = 0;
  std::vector<InstallFailure> failures;

 private:
  void Count(int& n) {
    std::lock_guard<std::mutex> l(lock);
    ++n;
  }
};

struct Fixture {
  InstallOptions options;
  RecordingView view;
  StubChannel channel;
  RecordingEvents events;
  ExitCodeSlot exitCode{7};  // anything but 0, to see the run set it
  std::mutex lock;
  std::vector<ReportRequest> reports;
  std::vector<std::wstring> activationLanguages;
  int registrations = 0;
  std::vector<bool> stopsAfterConfigure;  // per stop of a running client: was the channel configured yet

  InstallActions Actions() {
    InstallActions a;
    a.stopRunningClient = [this] { stopsAfterConfigure.push_back(channel.configured || channel.ran); };
    a.registerClient = [this](const ChosenOptions& c, const std::wstring& folder) {
      ++registrations;
      EXPECT_EQ(folder, L"C:\\Games\\Quorvane");
      return c.createShortcut;
    };
    a.sendInstallReport = [this](const ReportRequest& r, const CdnAttemptStats& s) {
      std::lock_guard<std::mutex> l(lock);
      EXPECT_EQ(s.attemptId, "ID");
      reports.push_back(r);
    };
    a.userAgentLine = [](const std::wstring& language) { return "User-Agent: test/" + WideToUtf8(language); };
    a.prepareActivationReport = [this](const std::wstring& language) {
      activationLanguages.push_back(language);
      return std::function<void()>([] {});
    };
    return a;
  }
};

TEST(InstallRun, ProgressOnlyRisesAnd101Completes) {
  Fixture f;
  f.options.test = true;
  f.options.forwardedArgs = L"-test -x=1";
  InstallRun run(f.options, f.view, f.channel, f.events, f.Actions(), f.exitCode);
  run.StartInstall();
  run.JoinChannelThread();
  // A running client is stopped once, before the channel is configured.
  EXPECT_EQ(f.stopsAfterConfigure, std::vector<bool>{false});
  EXPECT_TRUE(f.channel.ran);
  EXPECT_TRUE(f.channel.settings.test);
  EXPECT_EQ(f.channel.settings.forwardedArgs, L"-test -x=1");
  EXPECT_EQ(f.channel.settings.installPath, "C:\\Games\\Quorvane");
  EXPECT_EQ(f.channel.settings.userAgentLine, "User-Agent: test/English");
  EXPECT_EQ(f.channel.settings.installerFailedText, L"tt_failed");  // no text table loaded: the id
  // The channel's events reach the window's adapter.
  EXPECT_EQ(f.events.finished, 1);
  EXPECT_TRUE(f.events.failures.empty());
  EXPECT_EQ(f.view.page, InstallPage::kProgress);

  const struct { unsigned value; int bar; } steps[] = {{10, 10}, {5, 10}, {70, 70}, {70, 70}, {99, 99}, {100, 99}};
  for (const auto& s : steps) {
    run.OnChannelProgress(s.value);
    EXPECT_EQ(f.view.progress, s.bar) << "after " << s.value;
    EXPECT_EQ(f.view.page, InstallPage::kProgress) << "after " << s.value;
  }
  run.OnChannelProgress(kBarFinished);
  EXPECT_EQ(f.view.page, InstallPage::kFinished);
  EXPECT_EQ(f.registrations, 1);
  EXPECT_TRUE(run.ShortcutWanted());
  run.ShowPage(InstallPage::kFinished);  // a second finished page sends nothing more
  run.JoinReportThreads();
  ASSERT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.reports[0].actionType, "install");
  EXPECT_EQ(f.reports[0].httpCode, 0);
  EXPECT_EQ(f.reports[0].errorModule, "");
  EXPECT_EQ(f.reports[0].installPath, "C:\\Games\\Quorvane");
  EXPECT_TRUE(f.activationLanguages.empty());  // no platform and aid in the file name
  EXPECT_FALSE(f.view.closed);
  EXPECT_EQ(f.exitCode.value, 0);  // a completed install
}

// From the start to an outcome the run is interrupted if the loop ends;
// before a start, closing is the person's choice (0).
TEST(InstallRun, ExitCodeFollowsTheRunsOutcome) {
  Fixture f;
  f.exitCode.value = 0;
  InstallRun run(f.options, f.view, f.channel, f.events, f.Actions(), f.exitCode);
  EXPECT_FALSE(run.InstallRunning());
  EXPECT_EQ(f.exitCode.value, 0);
  run.StartInstall();
  EXPECT_TRUE(run.InstallRunning());
  EXPECT_EQ(f.exitCode.value, ExitCodeValue(ExitCode::kInterrupted));
  run.OnChannelProgress(50);
  EXPECT_EQ(f.exitCode.value, ExitCodeValue(ExitCode::kInterrupted));
  run.OnChannelProgress(kBarFinished);
  EXPECT_FALSE(run.InstallRunning());
  EXPECT_EQ(f.exitCode.value, 0);
  run.OnChannelFailed(L"late", ExitCode::kInstallerFailed);  // after the outcome: nothing changes
  run.JoinChannelThread();
  run.JoinReportThreads();
  EXPECT_EQ(f.exitCode.value, 0);
  EXPECT_EQ(f.view.failure, L"");
  EXPECT_EQ(f.reports.size(), 1u);
}

TEST(InstallRun, SilentCompletionClosesWithExitCodeZero) {
  Fixture f;
  f.options.silent = true;
  f.options.platformId = L"3";
  f.options.aid = L"901";
  InstallRun run(f.options, f.view, f.channel, f.events, f.Actions(), f.exitCode);
  run.OnChannelProgress(kBarFinished);
  run.JoinReportThreads();
  EXPECT_TRUE(f.view.closed);
  EXPECT_EQ(f.exitCode.value, 0);
  EXPECT_EQ(f.reports.size(), 1u);
  EXPECT_EQ(f.activationLanguages, std::vector<std::wstring>{L"English"});
}

TEST(InstallRun, FailureShowsTextAndReportsIt) {
  struct Case {
    const wchar_t* text;
    const wchar_t* shown;
    const char* reported;
  };
  const Case cases[] = {
      {L"", L"tt_failed", "tt_failed"},
      {L"Failed to install: disk full", L"Failed to install: disk full", "Failed to install: disk full"},
  };
  for (const bool silent : {false, true}) {
    for (const auto& c : cases) {
      Fixture f;
      f.options.silent = silent;
      std::vector<std::string> lines;
      SetDebugSink([&lines](const std::string& line) { lines.push_back(line); });
      InstallRun run(f.options, f.view, f.channel, f.events, f.Actions(), f.exitCode);
      run.StartInstall();
      run.OnChannelFailed(c.text, ExitCode::kDownloadFailed);
      run.JoinChannelThread();
      run.JoinReportThreads();
      SetDebugSink(nullptr);
      EXPECT_EQ(f.view.page, InstallPage::kProgress) << c.reported;
      EXPECT_EQ(f.view.failure, c.shown);
      // A hidden window closes itself; a shown one waits for the person.
      EXPECT_EQ(f.view.closed, silent) << c.reported;
      EXPECT_EQ(f.exitCode.value, 7102);
      ASSERT_EQ(f.reports.size(), 1u);
      EXPECT_EQ(f.reports[0].httpCode, 2000);
      EXPECT_EQ(f.reports[0].errorModule, c.reported);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), "install failed: " + std::string(c.reported) + "; exit code 7102");
    }
  }
}

// A controller that misbehaves in one of the ways a run could be left
// without an outcome.
class UnrulyChannel : public ChannelController {
 public:
  std::function<void(InstallEvents&)> run;
  ChannelSettings settings;
  void Configure(const ChannelSettings& s) override { settings = s; }
  void Run() override { run(*settings.events); }
  CdnAttemptStats AttemptStats() override { return {"ID", {}}; }
};

// Whatever the controller's Run does, exactly one outcome follows it. One
// that throws (a thread of its own that cannot start, say) or returns
// without an outcome ends as an internal error: 7108, its lines, one
// failure report; a silent run then ends by itself and a window can be
// closed.
TEST(InstallRun, EveryRunEndsWithExactlyOneOutcome) {
  using K = InstallFailureKind;
  const InstallFailure installerFailed{K::kInstallerFailed, std::nullopt, L"disk full"};
  const struct {
    const char* name;
    std::function<void(InstallEvents&)> run;
    int exitCode;  // 0: finished
    std::string line;  // a line that must be written ("" none)
  } cases[] = {
      {"a thread that cannot start",
       [](InstallEvents& e) {
         e.OnDownloadProgress(10, 100);
         throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
       },
       7108, "channel thread ended by an exception: "},
      {"throws what is no std::exception", [](InstallEvents&) { throw 42; }, 7108,
       "channel thread ended by an exception"},
      {"returns without an outcome", [](InstallEvents&) {}, 7108,
       "the channel ended without an outcome: an internal error"},
      {"fails, then throws",
       [&](InstallEvents& e) {
         e.OnFailed(installerFailed);
         throw std::runtime_error("late");
       },
       7105, "channel thread ended by an exception: late"},
      {"fails twice",
       [&](InstallEvents& e) {
         e.OnFailed(installerFailed);
         e.OnFailed(InstallFailure{});
       },
       7105, ""},
      {"finishes, then fails and reports progress",
       [](InstallEvents& e) {
         e.OnFinished();
         e.OnFailed(InstallFailure{});
         e.OnInstallerProgress(50);
       },
       0, ""},
  };
  for (const bool silent : {false, true}) {
    for (const auto& c : cases) {
      const std::string name = std::string(c.name) + (silent ? ", silent" : ", with a window");
      Fixture f;
      f.options.silent = silent;
      UnrulyChannel channel;
      channel.run = c.run;
      std::mutex linesLock;
      std::vector<std::string> lines;
      SetDebugSink([&](const std::string& line) {
        std::lock_guard<std::mutex> l(linesLock);
        lines.push_back(line);
      });
      InstallRun run(f.options, f.view, channel, f.events, f.Actions(), f.exitCode);
      run.StartInstall();
      run.JoinChannelThread();
      // What the window's adapter received, delivered as its messages would be.
      const int outcomes = f.events.finished + static_cast<int>(f.events.failures.size());
      EXPECT_EQ(outcomes, 1) << name;
      for (const InstallFailure& failure : f.events.failures) run.OnChannelFailed(FailureText(failure), ExitCodeFor(failure));
      if (f.events.finished) run.OnChannelProgress(kBarFinished);
      run.JoinReportThreads();
      SetDebugSink(nullptr);
      EXPECT_EQ(f.exitCode.value, c.exitCode) << name;
      EXPECT_FALSE(run.InstallRunning()) << name << ": the window can be closed";
      EXPECT_EQ(f.view.closed, silent) << name << ": a silent run ends by itself";
      ASSERT_EQ(f.reports.size(), 1u) << name;
      EXPECT_EQ(f.reports[0].httpCode, c.exitCode ? 2000 : 0) << name;
      if (c.exitCode == 7108) {
        EXPECT_EQ(f.view.failure, L"tt_failed") << name;
        EXPECT_EQ(f.reports[0].errorModule, "tt_failed") << name;
        EXPECT_NE(std::find(lines.begin(), lines.end(), "install failed: tt_failed; exit code 7108"), lines.end())
            << name;
      }
      if (!c.line.empty()) {
        EXPECT_NE(std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(c.line, 0) == 0; }),
                  lines.end())
            << name << ": no line " << c.line;
      }
    }
  }
}

TEST(InstallRun, LaunchedByChannelSendsOnlyTheActivation) {
  Fixture f;
  f.options.launchedByChannel = true;
  f.options.platformId = L"3";
  f.options.aid = L"901";
  {
    InstallRun failed(f.options, f.view, f.channel, f.events, f.Actions(), f.exitCode);
    failed.OnChannelFailed(L"", ExitCode::kInstallerFailed);
  }
  InstallRun run(f.options, f.view, f.channel, f.events, f.Actions(), f.exitCode);
  run.OnChannelProgress(kBarFinished);
  run.JoinReportThreads();
  EXPECT_TRUE(f.reports.empty());
  EXPECT_EQ(f.activationLanguages.size(), 1u);
}

}  // namespace
