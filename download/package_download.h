// Package download with failover: the full installer comes from the ranked
// domains, one single-stream attempt per domain and at most three, with a
// time limit that grows from attempt to attempt; when the last allowed
// attempt runs out of time, the same URL is fetched once more with the
// segmented Downloader. Every attempt leaves one CdnAttempt record.
//
// No byte is fetched twice when it can be helped: an attempt that follows one
// which left part of the file asks only for the rest (single_stream.h), the
// fallback plans its ranges over the missing part, and a download that fails
// sets its part aside with a small record (resume_record.h) that the next run
// continues. A continued file may mix two builds of the same length: the
// owner's check of the whole file is the guard, and FileIsContinued tells it
// when one more download from the first byte can help.
//
// Threads: DownloadPackage and its helpers run on one worker thread (the
// channel thread) and block it until the file is there or every allowed
// attempt has failed. The progress function runs on that thread (single
// stream) and on the downloader's threads (fallback). The records and the
// outcome are read on the worker thread, or by anyone after it has ended.
// Destruction stops and joins the fallback first.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/manual_reset_event.h"
#include "download/attempt_outcome.h"
#include "download/cdn_attempt_stats.h"
#include "download/downloader.h"
#include "download/single_stream.h"
#include "net/domains.h"
#include "net/transfer_policy.h"

// The path of the full installer on every domain.
extern const char kPackagePath[];

// Filled by one attempt; both 0 when the target file fails to open.
struct AttemptResult {
  // Target size after the single stream, or the fallback's reported count;
  // saturated at the 32-bit report field's maximum (SaturatedBytes).
  int32_t fileSize = 0;
  int32_t connectMs = 0;  // TLS-connect time of the single stream, else its connect time
};

struct PackageDownloadSettings {
  // Whole-transfer limits of attempts 1, 2 and 3, in seconds.
  std::array<long, 3> timeLimits{{60, 120, 180}};
  // The fallback's low-speed window, in seconds.
  int lowSpeedSeconds = Downloader::kDefaultLowSpeedSeconds;
  std::string packagePath = kPackagePath;
  // Route and TLS checks of every transfer of the download (single stream
  // and fallback).
  TransferPolicy transferPolicy;
};

// A 64-bit byte count as the report's 32-bit field holds it: negative
// counts as 0, above INT32_MAX as INT32_MAX.
int32_t SaturatedBytes(int64_t bytes);

// 32 upper-case hexadecimal digits from a freshly created GUID.
std::string MakeAttemptId();
// "curl_easy_perform() failed:%s\n" with libcurl's text for `result` taken as
// a libcurl code (codes outside its list get its text for unknown codes).
std::string CdnErrorMessage(int result);

class PackageDownload : private Downloader::Delegate {
 public:
  // Bytes so far and the expected total (0 while unknown). Must not block.
  using ProgressFn = std::function<void(double downloaded, double total)>;

  explicit PackageDownload(PackageDownloadSettings settings = {}, ProgressFn progress = nullptr);
  virtual ~PackageDownload();
  PackageDownload(const PackageDownload&) = delete;
  PackageDownload& operator=(const PackageDownload&) = delete;

  // Tries the domains in ranked order, at most three; true when an attempt
  // succeeded. Each record's rtt is its domain's ranking sample (0 for an
  // unprobed one); `targetPath` is the file to write. First takes up the part
  // an earlier run set aside beside `targetPath`, when its record fits. When
  // every attempt failed, no part of the file is left at `targetPath` unless
  // a fallback is held (HoldsFallback): then StopDownload and SetAsidePartial.
  bool DownloadPackage(const RankedDomains& domains, const std::wstring& targetPath);
  // After a failed download (and StopDownload): moves the part at
  // `targetPath` beside it with its record, for the next run, or removes it
  // when it cannot be continued. Never leaves anything at `targetPath`.
  void SetAsidePartial(const std::wstring& targetPath);
  // Removes the file, any part set aside and its record, and continues no
  // part from then on: every later attempt starts from the first byte, so a
  // second download cannot mix two builds again.
  void DiscardPartial(const std::wstring& targetPath);
  // The file at the target holds bytes of more than one answer (continued
  // from another domain, the fallback or an earlier run).
  bool FileIsContinued() const { return partial.mixed; }
  // One attempt: the single stream, then the fallback when it was the last
  // allowed attempt and it timed out.
  AttemptOutcome DownloadAttempt(const std::string& url, const std::wstring& targetPath, long timeLimit,
                                 AttemptResult& result, bool isLast);
  // One single-stream GET into `targetPath`. Succeeds only with a 200 whose
  // Content-Length the closed file holds exactly, after every write, flush
  // and close succeeded; else kNotWhole with a result of download_error.h.
  virtual AttemptOutcome DownloadOnce(const std::string& url, const std::wstring& targetPath, long timeLimit,
                                      AttemptResult& result);
  // Stops and joins the fallback download, if any.
  void StopDownload();

  const CdnAttemptStats& AttemptStats() const { return attemptStats; }
  // The last attempt that failed, even when a later one succeeded; none
  // when no attempt failed.
  const std::optional<AttemptOutcome>& LastFailure() const { return lastFailure; }
  // What the fallback reported last (it keeps the last downloader until the
  // next fallback replaces it).
  int64_t FallbackBytes() const { return bytesDownloaded; }
  bool HoldsFallback() const { return downloader != nullptr; }
  const PackageDownloadSettings& Settings() const { return settings; }
  // Before DownloadPackage: how its transfers reach the network.
  void SetTransferPolicy(const TransferPolicy& policy) { settings.transferPolicy = policy; }

 private:
  // Downloader::Delegate, on the downloader's threads; they write before
  // `downloadDoneEvent` is signalled and the worker reads after its wait.
  void OnProgress(const DownloadProgress& progress) override;
  void OnError(int code) override;
  void OnComplete() override;

  // What is known of the file at the target between attempts and runs.
  struct PartialFile {
    std::string url;            // the answer its first byte came from
    int64_t total = -1;         // the whole file's length by that answer; -1: cannot be continued
    FileValidators validators;  // of that answer
    bool mixed = false;         // holds bytes of more than one answer
  };
  // The bytes at the target that the next request may continue from.
  ContinuePoint ContinuePointFor(const std::string& url, const std::wstring& targetPath) const;
  void TakeUpPartial(const std::wstring& targetPath);

  PackageDownloadSettings settings;
  const ProgressFn progress;
  PartialFile partial;
  bool continueParts = true;  // false after DiscardPartial
  std::shared_ptr<Downloader> downloader;
  std::unique_ptr<ManualResetEvent> downloadDoneEvent;  // made when first needed
  std::atomic<bool> fallbackFailed{false};
  std::atomic<int64_t> bytesDownloaded{0};
  std::atomic<int> fallbackCode{0};
  CdnAttemptStats attemptStats;
  std::optional<AttemptOutcome> lastFailure;
};
