#include "app/install_wiring.h"

#include <memory>

#include "base/debug_output.h"
#include "base/vendor.h"
#include "base/win_handle.h"
#include "install/client_launch.h"
#include "install/registration.h"
#include "telemetry/activation_report.h"
#include "telemetry/install_report.h"
#include "telemetry/report_sender.h"
#include "telemetry/user_agent.h"

UniqueHandle OpenProgressPipe(const std::wstring& pipeName, DWORD waitMs) {
  if (!WaitNamedPipeW(pipeName.c_str(), waitMs)) {
    DebugOut("__install WaitNamedPipe failed " + std::to_string(GetLastError()));
    return UniqueHandle();
  }
  UniqueHandle pipe(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
  if (pipe.valid())
    DebugOutW(L"__install pipename suc " + pipeName);
  else
    DebugOutW(L"__install pipename failed " + pipeName);
  return pipe;
}

InstallActions MakeInstallActions(const InstallOptions& options, const std::string& previousChannelId) {
  InstallActions actions;
  actions.stopRunningClient = StopRunningClient;

  // The launcher that started this program holds the pipe's server end until
  // the client this program starts has taken over; it goes with the actions
  // when nobody starts the client.
  auto launcherPipe = std::make_shared<UniqueHandle>();
  if (!options.pipeName.empty()) *launcherPipe = OpenProgressPipe(options.pipeName);
  actions.startClient = [launcherPipe](const std::wstring& folder) {
    StartClient(folder);
    if (launcherPipe->valid()) {
      DisconnectNamedPipe(launcherPipe->get());
      launcherPipe->reset();
    }
  };

  const std::wstring channelId = options.channelId;
  actions.userAgentLine = [channelId](const std::wstring& languageText) {
    return ProcessUserAgentLine(channelId, languageText);
  };
  const std::wstring seoSourceId = options.seoSourceId;
  actions.registerClient = [channelId, seoSourceId](const ChosenOptions& chosen, const std::wstring& folder) {
    CompletionChoices choices;
    choices.autostart = chosen.autostart;
    choices.createShortcut = chosen.createShortcut;
    choices.installFolder = folder;
    choices.channelId = channelId;
    choices.seoSourceId = seoSourceId;
    return FinishChannelInstall(choices);
  };

  const std::wstring thirdType = options.thirdType;
  const TransferPolicy transfer = options.transfer;
  actions.sendInstallReport = [thirdType, previousChannelId, transfer](const ReportRequest& request,
                                                              const CdnAttemptStats& stats) {
    InstallReport report;
    report.userAgentLine = request.userAgentLine;
    report.actionType = request.actionType;
    report.httpCode = request.httpCode;
    report.errorModule = request.errorModule;
    report.installPath = request.installPath;
    report.previousChannelId = previousChannelId;
    report.thirdType = thirdType;
    report.attemptStats = [stats] { return stats; };
    SendInstallReport(report, Vendor().report, transfer);
  };

  // The language text is read on the UI thread; the activation thread only
  // sends what it was given.
  const std::wstring platformId = options.platformId;
  const std::wstring aid = options.aid;
  actions.prepareActivationReport = [platformId, aid, channelId, transfer](const std::wstring& languageText) {
    ClientActivation activation = PrepareClientActivation(platformId, aid, channelId, languageText);
    return std::function<void()>(
        [activation, transfer] { SendClientActivation(activation, Vendor().clientService, transfer); });
  };
  return actions;
}
