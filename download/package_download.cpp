#include "download/package_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "base/text_convert.h"
#include "net/http_client.h"
#include "ui/text_table.h"

const char kPackagePath[] = "/official/pc/client_channel/QVInstaller.exe";

std::string CdnErrorMessage(int result) {
  char text[1024];
  std::snprintf(text, sizeof(text), "curl_easy_perform() failed:%s\n",
                curl_easy_strerror(static_cast<CURLcode>(result)));
  return text;
}

PackageDownloadHost::PackageDownloadHost() : httpClient(std::make_unique<HttpClient>()) {
  attemptStats.attemptId = MakeAttemptId();
}

PackageDownloadHost::~PackageDownloadHost() { StopDownload(); }

void PackageDownloadHost::StopDownload() { downloader.reset(); }

void PackageDownloadHost::OnProgress(double downloaded, double total, double) {
  if (total == 0) return;
  bytesDownloaded = static_cast<int>(downloaded);
}

void PackageDownloadHost::OnError(int code) {
  statusText = GetText(L"tt_downstatus_failed") + std::to_wstring(code);
  if (downloadDoneEvent) downloadDoneEvent->Set();
}

void PackageDownloadHost::OnComplete() {
  if (downloadDoneEvent) downloadDoneEvent->Set();
}

bool PackageDownloadHost::DownloadPackage(const DomainList& domains, const SpeedSamples& samples,
                                          const std::string& targetPath) {
  const int maxAttempts = static_cast<int>(std::min<size_t>(domains.size(), timeLimits.size()));
  int failures = 0;
  bool success = false;
  for (const std::string& domain : domains) {
    const std::string url = domain + packagePath;
    const uint64_t started = TickCount64();
    const bool isLast = failures == maxAttempts - 1;
    AttemptResult result;
    const int r = DownloadAttempt(url, targetPath, timeLimits[failures], result, isLast);
    if (r == 200) {
      success = true;
    } else {
      ++failures;
    }

    CdnAttempt record;
    record.selectedCdn = domain;
    const auto sample = samples.find(domain);
    record.rttSpeedMs = sample == samples.end() ? 0 : sample->second.connectMs;
    record.timeConnectMs = result.connectMs;
    record.downloadByte = result.fileSize;
    record.downloadMs = static_cast<int32_t>(static_cast<uint32_t>(TickCount64() - started));
    if (r != 200) {
      record.cdnErrorMsg = CdnErrorMessage(r);
      statusText = GetText(L"tt_downstatus_failed") + L" " + std::to_wstring(r);
    }
    attemptStats.attempts.push_back(record);
    if (success || failures >= maxAttempts) break;
  }
  return success;
}

int PackageDownloadHost::DownloadAttempt(const std::string& url, const std::string& targetPath,
                                         long timeLimit, AttemptResult& result, bool isLast) {
  const int r = DownloadOnce(url, targetPath, timeLimit, result);
  if (r != CURLE_OPERATION_TIMEDOUT || !isLast) return r;

  // The last allowed attempt ran out of time: once more over parallel ranges.
  downloader.reset();
  bytesDownloaded = 0;
  statusText.clear();
  downloader =
      std::make_shared<Downloader>(url, AnsiToWide(targetPath), this, lowSpeedSeconds, transferPolicy);
  if (!downloadDoneEvent) downloadDoneEvent = std::make_unique<ManualResetEvent>();
  downloadDoneEvent->Reset();
  if (!downloader->Start()) {
    DebugOut("second mutidownload failed ");
    return kFallbackNotStarted;
  }
  // Every transfer of the downloader has a low-speed limit, so OnError or
  // OnComplete always comes.
  downloadDoneEvent->Wait();
  result.fileSize = bytesDownloaded;
  return statusText.empty() ? 200 : CURLE_OPERATION_TIMEDOUT;
}

int PackageDownloadHost::DownloadOnce(const std::string& url, const std::string& targetPath, long timeLimit,
                                      AttemptResult& result) {
  FILE* file = std::fopen(targetPath.c_str(), "wb+");
  if (!file) {
    DebugOut("fopen file  fialed :" + targetPath);
    result.fileSize = 0;
    result.connectMs = 0;
    return 0;
  }
  std::string response;
  httpClient->policy = transferPolicy;
  const int r = httpClient->Get(url, "", response, file, timeLimit);
  if (r != 200) DebugOut("download file " + targetPath + " failed return value " + std::to_string(r));
  std::fseek(file, 0, SEEK_END);
  result.fileSize = static_cast<int32_t>(std::ftell(file));
  double seconds = httpClient->InfoSeconds(CURLINFO_APPCONNECT_TIME);
  if (seconds <= 0) seconds = httpClient->InfoSeconds(CURLINFO_CONNECT_TIME);
  result.connectMs = static_cast<int32_t>(seconds * 1000);
  std::fclose(file);
  return r;
}
