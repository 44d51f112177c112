#include "download/package_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "base/text_convert.h"
#include "net/http_client.h"

const char kPackagePath[] = "/official/pc/client_channel/QVInstaller.exe";

std::string CdnErrorMessage(int result) {
  char text[1024];
  std::snprintf(text, sizeof(text), "curl_easy_perform() failed:%s\n",
                curl_easy_strerror(static_cast<CURLcode>(result)));
  return text;
}

PackageDownload::PackageDownload(PackageDownloadSettings settings, ProgressFn progress)
    : settings(std::move(settings)), progress(std::move(progress)), httpClient(std::make_unique<HttpClient>()) {
  attemptStats.attemptId = MakeAttemptId();
  httpClient->progressCallback = &PackageDownload::HttpProgress;
  httpClient->progressContext = this;
}

PackageDownload::~PackageDownload() { StopDownload(); }

void PackageDownload::StopDownload() { downloader.reset(); }

int PackageDownload::HttpProgress(void* context, double downloadTotal, double downloadedNow, double, double) {
  auto* self = static_cast<PackageDownload*>(context);
  if (self->progress && downloadTotal != 0) self->progress(downloadedNow, downloadTotal);
  return 0;
}

void PackageDownload::OnProgress(double downloaded, double total, double) {
  if (total == 0) return;
  bytesDownloaded = static_cast<int>(downloaded);
  if (progress) progress(downloaded, total);
}

void PackageDownload::OnError(int) {
  fallbackFailed = true;
  if (downloadDoneEvent) downloadDoneEvent->Set();
}

void PackageDownload::OnComplete() {
  if (downloadDoneEvent) downloadDoneEvent->Set();
}

bool PackageDownload::DownloadPackage(const RankedDomains& domains, const std::string& targetPath) {
  const auto& timeLimits = settings.timeLimits;
  const int maxAttempts = static_cast<int>(std::min<size_t>(domains.size(), timeLimits.size()));
  int failures = 0;
  bool success = false;
  for (const RankedDomain& domain : domains) {
    const std::string url = domain.domain + settings.packagePath;
    const uint64_t started = TickCount64();
    const bool isLast = failures == maxAttempts - 1;
    AttemptResult result;
    const AttemptOutcome outcome = DownloadAttempt(url, targetPath, timeLimits[failures], result, isLast);
    if (outcome.Succeeded()) {
      success = true;
    } else {
      ++failures;
    }

    CdnAttempt record;
    record.selectedCdn = domain.domain;
    record.rttSpeedMs = domain.sample.connectMs;
    record.timeConnectMs = result.connectMs;
    record.downloadByte = result.fileSize;
    record.downloadMs = static_cast<int32_t>(static_cast<uint32_t>(TickCount64() - started));
    if (!outcome.Succeeded()) {
      record.cdnErrorMsg = CdnErrorMessage(WireResult(outcome));
      lastFailure = outcome;
    }
    attemptStats.attempts.push_back(record);
    if (success || failures >= maxAttempts) break;
  }
  return success;
}

AttemptOutcome PackageDownload::DownloadAttempt(const std::string& url, const std::string& targetPath,
                                                long timeLimit, AttemptResult& result, bool isLast) {
  const AttemptOutcome outcome = DownloadOnce(url, targetPath, timeLimit, result);
  if (!outcome.TimedOut() || !isLast) return outcome;

  // The last allowed attempt ran out of time: once more over parallel ranges.
  downloader.reset();
  bytesDownloaded = 0;
  fallbackFailed = false;
  Downloader::Delegate* delegate = this;
  downloader = std::make_shared<Downloader>(url, AnsiToWide(targetPath), delegate, settings.lowSpeedSeconds,
                                            settings.transferPolicy);
  if (!downloadDoneEvent) downloadDoneEvent = std::make_unique<ManualResetEvent>();
  downloadDoneEvent->Reset();
  if (!downloader->Start()) {
    DebugOut("second mutidownload failed ");
    return {AttemptEnd::kFallbackNotStarted, 0};
  }
  // Every transfer of the downloader has a low-speed limit, so OnError or
  // OnComplete always comes.
  downloadDoneEvent->Wait();
  result.fileSize = bytesDownloaded;
  if (fallbackFailed) return {AttemptEnd::kFallbackFailed, 0};
  return {AttemptEnd::kSuccess, 0};
}

AttemptOutcome PackageDownload::DownloadOnce(const std::string& url, const std::string& targetPath,
                                             long timeLimit, AttemptResult& result) {
  FILE* file = std::fopen(targetPath.c_str(), "wb+");
  if (!file) {
    DebugOut("fopen file  fialed :" + targetPath);
    result.fileSize = 0;
    result.connectMs = 0;
    return {AttemptEnd::kTargetNotOpened, 0};
  }
  std::string response;
  httpClient->policy = settings.transferPolicy;
  const int r = httpClient->Get(url, "", response, file, timeLimit);
  if (r != 200) DebugOut("download file " + targetPath + " failed return value " + std::to_string(r));
  std::fseek(file, 0, SEEK_END);
  result.fileSize = static_cast<int32_t>(std::ftell(file));
  double seconds = httpClient->InfoSeconds(CURLINFO_APPCONNECT_TIME);
  if (seconds <= 0) seconds = httpClient->InfoSeconds(CURLINFO_CONNECT_TIME);
  result.connectMs = static_cast<int32_t>(seconds * 1000);
  std::fclose(file);
  return OutcomeOfHttpResult(r);
}
