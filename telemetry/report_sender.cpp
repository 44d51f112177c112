#include "telemetry/report_sender.h"

#include <exception>

#include "base/debug_output.h"
#include "base/vendor.h"
#include "base/build_version.h"
#include "net/http_client.h"
#include "telemetry/device_identity.h"
#include "telemetry/user_agent.h"

namespace {

constexpr size_t kReportDeviceIdBuffer = 100;
constexpr size_t kActivationDeviceIdBuffer = 128;

void PostReport(const std::string& url, const std::string& header, const std::string& body,
                const TransferPolicy& policy) {
  HttpClient client(policy);
  std::string response;
  int result = client.PostJson(url, header, body, response);
  if (result != 200) DebugOut("upload install information failed result code " + std::to_string(result));
}

void ReportException(const char* what) {
  DebugOut(std::string("upload install information failed: ") + (what ? what : "unknown error"));
}

}  // namespace

void SendInstallReport(const InstallReport& report, const std::string& reportHost,
                       const TransferPolicy& policy) {
  try {
    CdnAttemptStats stats = report.attemptStats ? report.attemptStats() : CdnAttemptStats{};
    char deviceId[kReportDeviceIdBuffer] = {};
    GetDeviceId(deviceId, sizeof deviceId);
    ReportDevice device{deviceId, GetOsDescription(), GetCpuBrand()};
    std::string body = BuildInstallReportJson(report, device, stats, ClientBuildVersion());
    PostReport(InstallReportUrl(reportHost), report.userAgentLine, body, policy);
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException(nullptr);
  }
}

GuardedThread StartInstallReport(InstallReport report, bool launchedByChannel, bool force,
                                 const TransferPolicy& policy) {
  if (launchedByChannel && !force) return {};
  ThreadStart start = StartGuardedThread("install report", [report = std::move(report), policy] {
    SendInstallReport(report, Vendor().report, policy);
  });
  if (!start.started) ReportException(start.failure.c_str());
  return std::move(start.thread);
}

void SendClientActivation(const ClientActivation& activation, const std::string& clientServiceHost,
                          const TransferPolicy& policy) {
  if (activation.body.empty()) return;
  try {
    char deviceId[kActivationDeviceIdBuffer] = {};
    GetDeviceId(deviceId, sizeof deviceId);
    std::string userAgent =
        FormatUserAgentLine(GetOsDescription(), activation.channelId, deviceId, activation.languageAnsi, 0);
    PostReport(ClientActivationUrl(clientServiceHost), userAgent, activation.body, policy);
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException(nullptr);
  }
}

GuardedThread StartClientActivation(ClientActivation activation, const TransferPolicy& policy) {
  if (activation.body.empty()) return {};
  ThreadStart start = StartGuardedThread("activation report", [activation = std::move(activation), policy] {
    SendClientActivation(activation, Vendor().clientService, policy);
  });
  if (!start.started) ReportException(start.failure.c_str());
  return std::move(start.thread);
}
