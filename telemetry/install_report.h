// The install event report: one JSON document per install outcome, posted to
// the report host on a thread of its own.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "download/cdn_attempt_stats.h"

// What one report thread carries; filled on the UI thread.
struct InstallReport {
  std::string userAgentLine;      // the complete "User-Agent: ..." header line
  std::string actionType;         // "install"
  int32_t httpCode = 0;           // 0 success, 2000 failed channel install
  std::string errorModule;        // ANSI code page, possibly empty
  std::string installPath;        // ANSI code page
  std::string previousChannelId;  // ANSI code page, as the window read it at start
  std::wstring thirdType;         // thirdType of the launch options
  // Called on the report thread, when it runs, for a copy of the channel
  // stub's attempt statistics. May be empty (no attempts).
  std::function<CdnAttemptStats()> attemptStats;
};

// The device texts of a report, as GetDeviceId, GetOsDescription and
// GetCpuBrand return them.
struct ReportDevice {
  std::string mac;  // device identifier
  std::string os;   // ANSI code page
  std::string cpu;  // ANSI code page
};

// The report document, compact, UTF-8, members in the service's order.
// `buildVersion` follows "3.0.0." in "client_version".
std::string BuildInstallReportJson(const InstallReport& report, const ReportDevice& device,
                                   const CdnAttemptStats& stats, const std::string& buildVersion);

// The report endpoint on `reportHost` (scheme and host, no trailing "/").
std::string InstallReportUrl(const std::string& reportHost);
