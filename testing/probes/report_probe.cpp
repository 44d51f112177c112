// Sends one install report and one activation report to the hosts of this
// build (redirected by the environment in test builds), then prints the
// device texts the reports carried, one per line, so that a test can check
// what a recording server received.
#include <cstdio>

#include "base/text_convert.h"
#include "base/build_version.h"
#include "telemetry/device_identity.h"
#include "telemetry/report_sender.h"
#include "telemetry/user_agent.h"

int wmain() {
  InstallReport report;
  report.userAgentLine = FormatUserAgentLine(GetOsDescription(), L"5", GetDeviceId(), "English", 65001);
  report.actionType = "install";
  report.httpCode = 2000;
  report.errorModule = "step\tfailed";
  report.installPath = WideToAnsi(L"C:\\\u00dcbung \"x\"");
  report.previousChannelId = "10";
  report.thirdType = L"t\u00e9";
  report.attemptStats = [] {
    CdnAttemptStats stats;
    stats.attemptId = "00112233445566778899AABBCCDDEEFF";
    return stats;
  };
  GuardedThread install = StartInstallReport(report, false, false, TransferPolicy());
  GuardedThread activation = StartClientActivation(
      PrepareClientActivation(L"3", L"9\"01", L"12", L"Fran\u00e7ais"), TransferPolicy());
  install.Join();
  activation.Join();
  std::printf("%s\n%s\n%s\n%s\n", GetDeviceId().c_str(), GetOsDescription().c_str(), GetCpuBrand().c_str(),
              ClientBuildVersion().c_str());
  return 0;
}
