#include "download/package_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "base/text_convert.h"
#include "download/download_error.h"
#include "download/file_ops.h"
#include "download/resume_record.h"

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
    : settings(std::move(settings)), progress(std::move(progress)) {
  attemptStats.attemptId = MakeAttemptId();
}

PackageDownload::~PackageDownload() { StopDownload(); }

void PackageDownload::StopDownload() { downloader.reset(); }

void PackageDownload::OnProgress(const DownloadProgress& now) {
  if (now.total == 0) return;
  bytesDownloaded = now.received;
  if (progress) progress(static_cast<double>(now.received), static_cast<double>(now.total));
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
  TakeUpPartial(targetPath);
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
  if (!success && !downloader) SetAsidePartial(targetPath);
  return success;
}

void PackageDownload::TakeUpPartial(const std::wstring& targetPath) {
  partial = PartialFile();
  if (!continueParts) return;
  const std::wstring partPath = PartialPathFor(targetPath), recordPath = RecordPathFor(targetPath);
  const int64_t partSize = FileSizeW(partPath);
  ResumeRecord record;
  const bool loaded = LoadResumeRecord(recordPath, &record);
  if (!loaded && partSize < 0) return;
  std::string problem = loaded ? ResumeRecordProblem(record, settings.packagePath, partSize,
                                                     static_cast<int64_t>(std::time(nullptr)))
                               : "its record is missing or damaged";
  if (problem.empty() && !ReplaceFileW(partPath, targetPath)) problem = "it cannot be moved";
  DeleteFileAt(recordPath);
  if (!problem.empty()) {
    DebugOut("the partial download of an earlier run is discarded: " + problem);
    if (partSize >= 0) DeleteFileAt(partPath);
    return;
  }
  partial.url = record.url;
  partial.total = record.total;
  partial.validators = record.validators;
  partial.mixed = true;
}

void PackageDownload::SetAsidePartial(const std::wstring& targetPath) {
  const int64_t size = FileSizeW(targetPath);
  if (size < 0) return;  // nothing there, or not a file (never a device)
  ResumeRecord record;
  record.url = partial.url;
  record.total = partial.total;
  record.validators = partial.validators;
  record.good = size;
  record.savedAt = static_cast<int64_t>(std::time(nullptr));
  const bool kept = size > 0 && partial.total > size &&
                    ReplaceFileW(targetPath, PartialPathFor(targetPath)) &&
                    SaveResumeRecord(RecordPathFor(targetPath), record);
  if (kept) {
    DebugOut("the partial download is kept: " + std::to_string(size) + " of " + std::to_string(partial.total) +
             " bytes");
    return;
  }
  DeleteFileAt(targetPath);
  DeleteFileAt(PartialPathFor(targetPath));
}

void PackageDownload::DiscardPartial(const std::wstring& targetPath) {
  StopDownload();
  DeleteFileAt(targetPath);
  DeleteFileAt(PartialPathFor(targetPath));
  DeleteFileAt(RecordPathFor(targetPath));
  partial = PartialFile();
  continueParts = false;
}

ContinuePoint PackageDownload::ContinuePointFor(const std::string& url, const std::wstring& targetPath) const {
  ContinuePoint from;
  const int64_t onDisk = FileSizeW(targetPath);
  if (!continueParts || partial.total <= 0 || onDisk <= 0 || onDisk >= partial.total) return from;
  from.have = onDisk;
  from.total = partial.total;
  from.sameDomain = url == partial.url;
  from.validators = partial.validators;
  return from;
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
  const ContinuePoint from = ContinuePointFor(url, targetPath);
  downloader->ContinueFrom(from.have, from.total);
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
  // Whatever the fallback left in the target is a run of its bytes from the
  // first one (range 0, then the merged ranges in order).
  if (downloader->KeptBytes() > 0) {
    partial.mixed = true;
  } else {
    partial = PartialFile();
    partial.url = url;
    partial.total = downloader->FileLength();
  }
  if (fallbackFailed) {
    const int code = fallbackCode;
    if (code >= kProbeStatusResult && code <= kSizeMismatchResult) return {AttemptEnd::kNotWhole, code};
    return {AttemptEnd::kFallbackFailed, 0};
  }
  return {AttemptEnd::kSuccess, 0};
}

AttemptOutcome PackageDownload::DownloadOnce(const std::string& url, const std::wstring& targetPath,
                                             long timeLimit, AttemptResult& result) {
  const ContinuePoint from = ContinuePointFor(url, targetPath);
  const StreamAnswer a = FetchIntoFile(url, targetPath, from, timeLimit, settings.transferPolicy,
                                       [this](const DownloadProgress& now) {
                                         if (progress && now.total != 0)
                                           progress(static_cast<double>(now.received),
                                                    static_cast<double>(now.total));
                                       });
  if (!a.opened) {
    DebugOutW(L"fopen file  fialed :" + targetPath);
    result.fileSize = 0;
    result.connectMs = 0;
    return {AttemptEnd::kTargetNotOpened, 0};
  }
  const int r = a.result;
  if (r != 200) DebugOutW(L"download file " + targetPath + L" failed return value " + DecimalWide(r));
  result.connectMs = static_cast<int32_t>(a.connectSeconds * 1000);
  const int64_t size = FileSizeW(targetPath);
  result.fileSize = SaturatedBytes(size);
  if (a.continued) {
    partial.mixed = true;
  } else if (a.fromStart) {
    partial = PartialFile();
    partial.url = url;
    partial.total = a.total;
    partial.validators = a.validators;
  }
  const AttemptOutcome answer = OutcomeOfHttpResult(r);
  if (!answer.Succeeded()) {
    // A short write (full disk) makes libcurl end the transfer with its write error.
    if (answer.end == AttemptEnd::kTransferError && r == CURLE_WRITE_ERROR)
      return {AttemptEnd::kNotWhole, kWriteFailedResult};
    return answer;
  }
  if (a.writeFailed) {
    DebugOut("closing the downloaded file failed, error " + std::to_string(LastSystemError()));
    return {AttemptEnd::kNotWhole, kWriteFailedResult};
  }
  // The answer must announce its length and deliver exactly that many bytes
  // (encoded ones when it is compressed); every byte it delivered reached the
  // disk, as no write, flush or close failed. A file of known length must
  // hold exactly that length.
  if (a.announced < 0) {
    DebugOut("the answer announced no length");
    return {AttemptEnd::kNotWhole, kLengthMismatchResult};
  }
  if (a.received != a.announced || size < 0 || (a.total >= 0 && size != a.total)) {
    DebugOut("the answer delivered " + std::to_string(a.received) + " of " + std::to_string(a.announced) +
             " bytes; the file holds " + std::to_string(size));
    return {AttemptEnd::kNotWhole, kSizeMismatchResult};
  }
  return answer;
}
