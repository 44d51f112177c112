// One install as the main window runs it: the install action, the channel
// thread, the handling of the channel's window messages, the pages, and the
// reports of the outcome. All members run on the main (UI) thread; the only
// other threads it starts are the channel thread and the report threads, which
// it joins (JoinChannelThread from the window's final message, JoinReportThreads
// from the window's destructor).
#pragma once
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/launch_options.h"
#include "install/channel_controller.h"
#include "install/install_view.h"

// The process-wide exit code; the program always ends with 0.
extern int ExitCode;

// One install event report as the window requests it.
struct ReportRequest {
  std::string actionType;
  int httpCode = 0;
  std::string errorModule;  // ANSI code page
  std::string installPath;  // ANSI code page
  std::string userAgentLine;
};

// What the run needs from the rest of the program; each may be left empty.
struct InstallRunHooks {
  std::function<void()> stopRunningClient;
  // Applies the user's choices on completion; returns whether a shortcut was wanted.
  std::function<bool()> finishChannelInstall;
  std::function<std::string()> userAgentLine;
  std::function<std::wstring()> installFolder;
  // Runs on a report thread of its own with the attempt records copied on that
  // thread; sends one install event report.
  std::function<void(const ReportRequest&, const CdnAttemptStats&)> sendInstallReport;
  // Called on the UI thread (so it may read controls); returns the work that
  // sends the client activation report on the activation thread.
  std::function<std::function<void()>()> prepareActivationReport;
};

class InstallRun {
 public:
  static constexpr int kFinished = 101;

  InstallRun(const LaunchOptions& options, InstallView& view, ChannelController& channel, void* window,
             InstallRunHooks hooks);
  ~InstallRun();

  void StartInstall();
  void OnChannelProgress(unsigned value);
  void OnChannelFailed();
  void ShowPage(int page);
  void ShowFailure(const std::wstring& text);
  void SendReport(const std::string& actionType, int httpCode, const std::string& errorModule, bool force);
  void ReportSuccessOnce();

  void JoinChannelThread();
  void JoinReportThreads();

  bool Started() const { return channelThread.joinable() || started; }
  bool shortcutWanted = false;
  bool reportSent = false;

 private:
  const LaunchOptions& options;
  InstallView& view;
  ChannelController& channel;
  void* window;
  InstallRunHooks hooks;
  bool started = false;
  std::thread channelThread;
  std::vector<std::thread> reportThreads;
  std::thread activationThread;
};
