#include "app/install_wiring.h"

#include "base/vendor.h"
#include "install/client_launch.h"
#include "install/registration.h"
#include "telemetry/activation_report.h"
#include "telemetry/install_report.h"
#include "telemetry/report_sender.h"

InstallActions MakeInstallActions(const InstallOptions& options, const std::string& previousChannelId) {
  InstallActions actions;
  actions.stopRunningClient = StopRunningClient;

  const std::wstring channelId = options.channelId;
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
