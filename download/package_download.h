// Package download with failover: the full installer comes from the ranked
// domains, one single-stream attempt per domain and at most three, with a
// time limit that grows from attempt to attempt; when the last allowed
// attempt runs out of time, the same URL is fetched once more with the
// segmented Downloader. Every attempt leaves one CdnAttempt record.
//
// PackageDownloadHost holds what the channel controller owns for this and is
// the Downloader's delegate for the fallback. A controller derives from it and
// adds its window posting by overriding the delegate operations and calling
// the base first, for example:
//
//   void OnProgress(double downloaded, double total, double speed) override {
//     PackageDownloadHost::OnProgress(downloaded, total, speed);  // bytesDownloaded
//     if (total != 0) PostMessage(window, WM_CHANNEL_PROGRESS, (unsigned)(downloaded / total * 70), 0);
//   }
//
// It installs its own progress function in `httpClient` before DownloadPackage
// runs. Its destructor must call StopDownload() first, so that no downloader
// thread calls into a half-destroyed object.
//
// DownloadPackage and its helpers run on one worker thread; the delegate
// operations run on the downloader's threads and write `bytesDownloaded` and
// `statusText` before `downloadDoneEvent` is signalled.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/manual_reset_event.h"
#include "download/cdn_attempt_stats.h"
#include "download/downloader.h"
#include "net/domains.h"
#include "net/transfer_policy.h"

class HttpClient;

// Filled by one attempt; both 0 when the target file fails to open.
struct AttemptResult {
  int32_t fileSize = 0;   // target size after the single stream, or the fallback's reported count
  int32_t connectMs = 0;  // TLS-connect time of the single stream, else its connect time
};

// The path of the full installer on every domain.
extern const char kPackagePath[];
// DownloadAttempt's result when the segmented fallback cannot start.
constexpr int kFallbackNotStarted = 1001;

// 32 upper-case hexadecimal digits from a freshly created GUID.
std::string MakeAttemptId();
// "curl_easy_perform() failed:%s\n" with libcurl's text for `result` taken as
// a libcurl code (codes outside its list get its text for unknown codes).
std::string CdnErrorMessage(int result);

class PackageDownloadHost : public Downloader::Delegate {
 public:
  PackageDownloadHost();
  virtual ~PackageDownloadHost();
  PackageDownloadHost(const PackageDownloadHost&) = delete;
  PackageDownloadHost& operator=(const PackageDownloadHost&) = delete;

  // Tries the domains in ranked order, at most three; true when an attempt
  // returned 200. `samples` give each record's rtt (0 for a domain without
  // one); `targetPath` is the ANSI path of the file to write.
  bool DownloadPackage(const DomainList& domains, const SpeedSamples& samples, const std::string& targetPath);
  // 200 on success; otherwise the single stream's result (a libcurl code, an
  // HTTP status, 0 when the file fails to open), 28 when the segmented
  // fallback ran and failed, or kFallbackNotStarted.
  int DownloadAttempt(const std::string& url, const std::string& targetPath, long timeLimit,
                      AttemptResult& result, bool isLast);
  // One single-stream GET into `targetPath` through `httpClient`: its result,
  // or 0 when the file fails to open.
  virtual int DownloadOnce(const std::string& url, const std::string& targetPath, long timeLimit,
                           AttemptResult& result);
  // Stops and joins the fallback download, if any.
  void StopDownload();

  // Downloader::Delegate
  void OnProgress(double downloaded, double total, double bytesPerSecond) override;
  void OnError(int code) override;
  void OnComplete() override;

  std::unique_ptr<HttpClient> httpClient;
  std::shared_ptr<Downloader> downloader;
  std::unique_ptr<ManualResetEvent> downloadDoneEvent;  // made when first needed
  std::wstring statusText;
  CdnAttemptStats attemptStats;
  std::atomic<int> bytesDownloaded{0};

  // Whole-transfer limits of attempts 1, 2 and 3, in seconds.
  std::array<long, 3> timeLimits{{60, 120, 180}};
  // The fallback's low-speed window, in seconds.
  int lowSpeedSeconds = Downloader::kDefaultLowSpeedSeconds;
  // Route and TLS checks of every transfer of the download (single stream
  // and fallback); set before DownloadPackage runs.
  TransferPolicy transferPolicy;
  std::string packagePath = kPackagePath;
};
