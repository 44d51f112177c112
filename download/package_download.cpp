#include "download/package_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "base/text_convert.h"
#include "download/download_error.h"
#include "download/file_ops.h"
#include "net/http_client.h"

const char kPackagePath[] = "/official/pc/client_channel/QVInstaller.exe";

int32_t SaturatedBytes(int64_t bytes) {
  if (bytes <= 0) return 0;
  return bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
}

std::string CdnErrorMessage(int result) {
  char text[1024];
  std::snprintf(text, sizeof(text), "curl_easy_perform() failed:%s\n",
                curl_easy_strerror(static_cast<CURLcode>(result)));
  return text;
}

PackageDownload::PackageDownload(PackageDownloadSettings settings, ProgressFn progress)
    : settings(std::move(settings)),
      progress(std::move(progress)),
      httpClient(std::make_unique<HttpClient>()) {
  attemptStats.attemptId = MakeAttemptId();
  httpClient->progressCallback = &PackageDownload::HttpProgress;
  httpClient->progressContext = this;
}

PackageDownload::~PackageDownload() { StopDownload(); }

void PackageDownload::StopDownload() { downloader.reset(); }

int PackageDownload::HttpProgress(void* context, double downloadTotal, double downloadedNow, double,
                                  double) noexcept try {
  auto* self = static_cast<PackageDownload*>(context);
  if (self->progress && downloadTotal != 0) self->progress(downloadedNow, downloadTotal);
  return 0;
} catch (...) {
  return 0;  // libcurl is C: nothing may unwind through it
}

void PackageDownload::OnProgress(double downloaded, double total, double) {
  if (total == 0) return;
  bytesDownloaded = static_cast<int64_t>(downloaded);
  if (progress) progress(downloaded, total);
}

void PackageDownload::OnError(int code) {
  fallbackCode = code;
  fallbackFailed = true;
  if (downloadDoneEvent) downloadDoneEvent->Set();
}

void PackageDownload::OnComplete() {
  if (downloadDoneEvent) downloadDoneEvent->Set();
}

bool PackageDownload::DownloadPackage(const RankedDomains& domains, const std::wstring& targetPath) {
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
  // A part of a file must never be taken for the file (nor started). A
  // fallback that is kept may still hold it: its owner removes it after
  // StopDownload.
  if (!success && !downloader && FileSizeW(targetPath) >= 0) DeleteFileAt(targetPath);  // never a device
  return success;
}

AttemptOutcome PackageDownload::DownloadAttempt(const std::string& url, const std::wstring& targetPath,
                                                long timeLimit, AttemptResult& result, bool isLast) {
  const AttemptOutcome outcome = DownloadOnce(url, targetPath, timeLimit, result);
  if (!outcome.TimedOut() || !isLast) return outcome;

  // The last allowed attempt ran out of time: once more over parallel ranges.
  downloader.reset();
  bytesDownloaded = 0;
  fallbackCode = 0;
  fallbackFailed = false;
  Downloader::Delegate* delegate = this;
  downloader = std::make_shared<Downloader>(url, targetPath, delegate, settings.lowSpeedSeconds,
                                            settings.transferPolicy);
  if (!downloadDoneEvent) downloadDoneEvent = std::make_unique<ManualResetEvent>();
  downloadDoneEvent->Reset();
  if (!downloader->Start()) {
    DebugOut("second mutidownload failed ");
    // A probe answered with an error status is named as such.
    if (const DownloadError probe = downloader->StartError()) return {AttemptEnd::kNotWhole, probe.Code()};
    return {AttemptEnd::kFallbackNotStarted, 0};
  }
  // Every transfer of the downloader has a low-speed limit, so OnError or
  // OnComplete always comes.
  downloadDoneEvent->Wait();
  result.fileSize = SaturatedBytes(bytesDownloaded);
  if (fallbackFailed) {
    const int code = fallbackCode;
    if (code >= kProbeStatusResult && code <= kSizeMismatchResult) return {AttemptEnd::kNotWhole, code};
    return {AttemptEnd::kFallbackFailed, 0};
  }
  return {AttemptEnd::kSuccess, 0};
}

AttemptOutcome PackageDownload::DownloadOnce(const std::string& url, const std::wstring& targetPath,
                                             long timeLimit, AttemptResult& result) {
  FILE* file = OpenFileW(targetPath, "wb+");
  if (!file) {
    DebugOutW(L"fopen file  fialed :" + targetPath);
    result.fileSize = 0;
    result.connectMs = 0;
    return {AttemptEnd::kTargetNotOpened, 0};
  }
  std::string response;
  httpClient->policy = settings.transferPolicy;
  const int r = httpClient->Get(url, "", response, file, timeLimit);
  if (r != 200) DebugOutW(L"download file " + targetPath + L" failed return value " + std::to_wstring(r));
  double seconds = httpClient->InfoSeconds(CURLINFO_APPCONNECT_TIME);
  if (seconds <= 0) seconds = httpClient->InfoSeconds(CURLINFO_CONNECT_TIME);
  result.connectMs = static_cast<int32_t>(seconds * 1000);
  const bool closed = CloseFileChecked(file);
  const int64_t size = FileSizeW(targetPath);
  result.fileSize = SaturatedBytes(size);
  const AttemptOutcome answer = OutcomeOfHttpResult(r);
  if (!answer.Succeeded()) {
    // A short write (full disk) makes libcurl end the transfer with its write error.
    if (answer.end == AttemptEnd::kTransferError && r == CURLE_WRITE_ERROR)
      return {AttemptEnd::kNotWhole, kWriteFailedResult};
    return answer;
  }
  if (!closed) {
    DebugOut("closing the downloaded file failed, error " + std::to_string(LastSystemError()));
    return {AttemptEnd::kNotWhole, kWriteFailedResult};
  }
  // The answer must announce its length and deliver exactly that many bytes
  // (encoded ones when it is compressed); every byte it delivered reached the
  // disk, as no write, flush or close failed.
  const int64_t announced = httpClient->InfoBytes(CURLINFO_CONTENT_LENGTH_DOWNLOAD_T);
  const int64_t received = httpClient->InfoBytes(CURLINFO_SIZE_DOWNLOAD_T);
  if (announced < 0) {
    DebugOut("the answer announced no length");
    return {AttemptEnd::kNotWhole, kLengthMismatchResult};
  }
  if (received != announced || size < 0) {
    DebugOut("the answer delivered " + std::to_string(received) + " of " + std::to_string(announced) +
             " bytes; the file holds " + std::to_string(size));
    return {AttemptEnd::kNotWhole, kSizeMismatchResult};
  }
  return answer;
}
