#include "install/install_run.h"

#include "base/debug_output.h"
#include "base/text_convert.h"

int ExitCode = 0;

namespace {
const wchar_t kPageLayout[] = L"InstallStatusLayout";
const wchar_t kProgress[] = L"progres";
}  // namespace

InstallRun::InstallRun(const LaunchOptions& options, InstallView& view, ChannelController& channel, void* window,
                       InstallRunHooks hooks)
    : options(options), view(view), channel(channel), window(window), hooks(std::move(hooks)) {}

InstallRun::~InstallRun() {
  JoinChannelThread();
  JoinReportThreads();
}

void InstallRun::StartInstall() {
  // Page 1 hides the install button at once, so this runs once per window;
  // guard anyway against a second automatic start.
  if (started) return;
  started = true;
  if (hooks.stopRunningClient) hooks.stopRunningClient();
  ShowPage(1);
  ChannelSettings settings;
  settings.test = options.test;
  settings.forwardedArgs = options.forwardedArgs;
  settings.userAgentLine = hooks.userAgentLine ? hooks.userAgentLine() : std::string();
  settings.window = window;
  settings.transfer = options.transfer;
  settings.installPath = WideToAnsi(hooks.installFolder ? hooks.installFolder() : options.installPath);
  channel.Configure(settings);
  channelThread = std::thread([this] {
    try {
      channel.Run();
    } catch (...) {
      DebugOut("channel thread ended by an exception");
    }
  });
}

void InstallRun::OnChannelProgress(unsigned value) {
  if (value < 100 && view.ProgressValue(kProgress) < static_cast<int>(value))
    view.SetProgressValue(kProgress, static_cast<int>(value));
  if (value != kFinished) return;
  shortcutWanted = hooks.finishChannelInstall ? hooks.finishChannelInstall() : false;
  ShowPage(2);
}

void InstallRun::OnChannelFailed() {
  std::wstring text = channel.StatusText();
  if (text.empty()) text = L"tt_failed";
  ShowFailure(text);
  view.SetControlVisible(L"installfailed_towebsit", true);
  SendReport("install", 2000, WideToAnsi(text), false);
}

void InstallRun::ShowFailure(const std::wstring& text) {
  view.SetControlEnabled(L"closebtn", true);
  view.SetParentVisible(L"installstatustips", true);
  view.SetControlVisible(L"install_status", false);
  view.SetControlText(L"installstatustips", text);
}

void InstallRun::ShowPage(int page) {
  if (page == 2) {
    ReportSuccessOnce();
    if (options.silent) {
      ExitCode = 0;
      view.CloseWindow();
      return;
    }
  }
  view.SetControlEnabled(L"closebtn", page != 1);
  view.SelectTabPage(kPageLayout, page);
}

void InstallRun::ReportSuccessOnce() {
  if (reportSent) return;
  reportSent = true;
  if (!options.platformId.empty() && !options.aid.empty() && hooks.prepareActivationReport &&
      !activationThread.joinable()) {
    std::function<void()> work = hooks.prepareActivationReport();
    if (work) {
      activationThread = std::thread([work] {
        try {
          work();
        } catch (...) {
          DebugOut("activation report ended by an exception");
        }
      });
    }
  }
  SendReport("install", 0, "", false);
}

void InstallRun::SendReport(const std::string& actionType, int httpCode, const std::string& errorModule,
                            bool force) {
  if (options.launchedByChannel && !force) return;
  if (!hooks.sendInstallReport) return;
  ReportRequest request;
  request.actionType = actionType;
  request.httpCode = httpCode;
  request.errorModule = errorModule;
  request.installPath = WideToAnsi(hooks.installFolder ? hooks.installFolder() : options.installPath);
  request.userAgentLine = hooks.userAgentLine ? hooks.userAgentLine() : std::string();
  auto send = hooks.sendInstallReport;
  ChannelController* source = &channel;
  reportThreads.emplace_back([send, request, source] {
    try {
      send(request, source->AttemptStats());
    } catch (...) {
      DebugOut("install report ended by an exception");
    }
  });
}

void InstallRun::JoinChannelThread() {
  if (channelThread.joinable()) channelThread.join();
}

void InstallRun::JoinReportThreads() {
  for (auto& t : reportThreads)
    if (t.joinable()) t.join();
  reportThreads.clear();
  if (activationThread.joinable()) activationThread.join();
}
