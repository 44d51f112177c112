#include "ui/install_run.h"

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "ui/install_presentation.h"
#include "ui/text_table.h"

InstallRun::InstallRun(const InstallOptions& options, InstallView& view, ChannelController& channel,
                       InstallEvents& events, InstallActions actions, ExitCodeSlot& exitCode)
    : options(options), view(view), channel(channel), events(events), outcome(events), actions(std::move(actions)),
      exitCode(exitCode) {}

InstallRun::~InstallRun() {
  JoinChannelThread();
  JoinReportThreads();
}

void InstallRun::StartInstall() {
  // Page 1 hides the install button at once, so this runs once per window;
  // guard anyway against a second automatic start.
  if (started) return;
  started = true;
  // Until an outcome arrives, an ending of the message loop is an interruption.
  exitCode.value = ExitCodeValue(ExitCode::kInterrupted);
  if (actions.stopRunningClient) actions.stopRunningClient();
  ShowPage(InstallPage::kProgress);
  ChannelSettings settings;
  settings.test = options.test;
  settings.forwardedArgs = options.forwardedArgs;
  settings.userAgentLine = UserAgentLine();
  settings.installPath = WideToAnsi(view.InstallFolder());
  settings.transfer = options.transfer;
  settings.installerFailedText = GetText(L"tt_failed");
  settings.events = &outcome;
  channel.Configure(settings);
  // An exception, a thread of the controller that could not start included,
  // ends the run as an internal error like any other failure.
  ThreadStart start = StartGuardedThread(
      "channel thread", [this] { channel.Run(); }, [this] { outcome.EnsureOutcome(); });
  if (!start.started) {
    DebugOut("channel thread could not be started: " + start.failure);
    OnChannelFailed(L"tt_failed", ExitCode::kInternalError);
    return;
  }
  channelThread = std::move(start.thread);
}

void InstallRun::OnChannelProgress(unsigned value) {
  if (value < kBarInstallerDone && view.ProgressValue() < static_cast<int>(value))
    view.SetProgressValue(static_cast<int>(value));
  if (value != kBarFinished || ended) return;
  ended = true;
  exitCode.value = ExitCodeValue(ExitCode::kSuccess);
  DebugOut("install finished; exit code 0");
  shortcutWanted = actions.registerClient ? actions.registerClient(view.Choices(), view.InstallFolder()) : false;
  ShowPage(InstallPage::kFinished);
}

void InstallRun::OnChannelFailed(const std::wstring& failureText, ExitCode code) {
  if (ended) return;
  ended = true;
  const std::wstring text = failureText.empty() ? std::wstring(L"tt_failed") : failureText;
  view.ShowFailure(text);
  SendReport("install", 2000, WideToAnsi(text), false);
  exitCode.value = ExitCodeValue(code);
  DebugOutW(L"install failed: " + text + L"; exit code " + DecimalWide(ExitCodeValue(code)));
  // Nobody can close a hidden window: a silent run ends once its report is
  // on its way (the window's destructor waits for it).
  if (options.silent) view.CloseWindow();
}

void InstallRun::ShowPage(InstallPage page) {
  if (page == InstallPage::kFinished) {
    ReportSuccessOnce();
    if (options.silent) {
      exitCode.value = 0;
      view.CloseWindow();
      return;
    }
  }
  view.ShowPage(page);
}

void InstallRun::ReportSuccessOnce() {
  if (reportSent) return;
  reportSent = true;
  if (!options.platformId.empty() && !options.aid.empty() && actions.prepareActivationReport &&
      !activationThread.Running()) {
    std::function<void()> work = actions.prepareActivationReport(view.LanguageText());
    if (work) {
      ThreadStart start = StartGuardedThread("activation report", std::move(work));
      if (start.started)
        activationThread = std::move(start.thread);
      else
        DebugOut("activation thread could not be started: " + start.failure);
    }
  }
  SendReport("install", 0, "", false);
}

void InstallRun::SendReport(const std::string& actionType, int httpCode, const std::string& errorModule,
                            bool force) {
  if (options.launchedByChannel && !force) return;
  if (!actions.sendInstallReport) return;
  ReportRequest request;
  request.actionType = actionType;
  request.httpCode = httpCode;
  request.errorModule = errorModule;
  request.installPath = WideToAnsi(view.InstallFolder());
  request.userAgentLine = UserAgentLine();
  auto send = actions.sendInstallReport;
  ChannelController* source = &channel;
  ThreadStart start = StartGuardedThread("install report",
                                         [send, request, source] { send(request, source->AttemptStats()); });
  if (start.started)
    reportThreads.push_back(std::move(start.thread));
  else
    DebugOut("report thread could not be started: " + start.failure);
}

void InstallRun::StartClient() {
  if (actions.startClient) actions.startClient(view.InstallFolder());
  exitCode.value = 0;
}

std::string InstallRun::UserAgentLine() {
  return actions.userAgentLine ? actions.userAgentLine(view.LanguageText()) : std::string();
}

void InstallRun::JoinChannelThread() { channelThread.Join(); }

void InstallRun::JoinReportThreads() {
  for (GuardedThread& t : reportThreads) t.Join();
  reportThreads.clear();
  activationThread.Join();
}
