// One install as the main window runs it: the install action, the channel
// thread, the handling of the channel's window messages, the pages, and the
// reports of the outcome. All members run on the main (UI) thread; the only
// other threads it starts are the channel thread and the report threads, which
// it joins (JoinChannelThread from the window's final message, JoinReportThreads
// from the window's destructor).
//
// What the run triggers outside the window (stopping a running client, the
// registration, the reports) comes in as InstallActions, wired once by the
// program; the run only decides when.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "base/exit_codes.h"
#include "base/guarded_thread.h"
#include "channel/channel_controller.h"
#include "channel/run_outcome.h"
#include "ui/install_options.h"
#include "ui/install_view.h"

// One install event report as the run requests it.
struct ReportRequest {
  std::string actionType;
  int httpCode = 0;
  std::string errorModule;  // ANSI code page
  std::string installPath;  // ANSI code page
  std::string userAgentLine;
};

// What the run makes happen outside the window; each may be left empty.
struct InstallActions {
  // UI thread, when the install starts.
  std::function<void()> stopRunningClient;
  // UI thread, when the full installer has finished: registers the client
  // with the user's choices in `folder`; returns whether a shortcut was wanted.
  std::function<bool(const ChosenOptions& choices, const std::wstring& folder)> registerClient;
  // Runs on a report thread of its own with the attempt records copied on that
  // thread; sends one install event report.
  std::function<void(const ReportRequest&, const CdnAttemptStats&)> sendInstallReport;
  // Called on the UI thread with the language selector's text; returns the
  // work that sends the client activation report on the activation thread.
  std::function<std::function<void()>(const std::wstring& languageText)> prepareActivationReport;
  // UI thread, from the finished page's start button: starts the installed
  // client in `folder` and lets go of the launcher's progress pipe, so the
  // launcher sees this program done.
  std::function<void(const std::wstring& folder)> startClient;
  // UI thread: the client identification header line of this process, built
  // on the first call from the language selector's text, then the same.
  std::function<std::string(const std::wstring& languageText)> userAgentLine;
};

// The process's exit code, owned by the program's entry and handed down; the
// run and the window write it on the UI thread. 0 until an install starts;
// kInterrupted while it runs; then 0 for a completed install or the failure's
// code (base/exit_codes.h).
struct ExitCodeSlot {
  int value = 0;
};

class InstallRun {
 public:
  // `events` is what the channel reports to (the window's adapter), through
  // a RunOutcome: whatever Run does, exactly one OnFinished or OnFailed
  // follows it. All references must outlive the run.
  InstallRun(const InstallOptions& options, InstallView& view, ChannelController& channel, InstallEvents& events,
             InstallActions actions, ExitCodeSlot& exitCode);
  ~InstallRun();

  void StartInstall();
  // A WM_CHANNEL_PROGRESS value: the bar only rises; kBarFinished completes.
  void OnChannelProgress(unsigned value);
  // After WM_CHANNEL_FAILED, with the text the window's adapter made and the
  // failure's exit code: shows and reports the failure, writes the exit code
  // and, in a silent run, closes the window (its destructor waits for the
  // report, whose transfer is bounded).
  void OnChannelFailed(const std::wstring& text, ExitCode code);
  // Between the install's start and its outcome (finished or failed); the
  // window cannot be closed then.
  bool InstallRunning() const { return started && !ended; }
  void ShowPage(InstallPage page);
  void SendReport(const std::string& actionType, int httpCode, const std::string& errorModule, bool force);
  void ReportSuccessOnce();
  // The finished page's start button: starts the client; the exit code is 0.
  void StartClient();
  // The client identification header line (empty without the action).
  std::string UserAgentLine();

  void JoinChannelThread();
  void JoinReportThreads();

  // After the finished page: whether the user asked for a shortcut.
  bool ShortcutWanted() const { return shortcutWanted; }

 private:
  const InstallOptions& options;
  InstallView& view;
  ChannelController& channel;
  InstallEvents& events;
  RunOutcome outcome;  // what the channel is given; outlives the channel thread
  InstallActions actions;
  ExitCodeSlot& exitCode;
  bool started = false;
  bool ended = false;
  bool shortcutWanted = false;
  bool reportSent = false;
  GuardedThread channelThread;
  std::vector<GuardedThread> reportThreads;
  GuardedThread activationThread;
};
