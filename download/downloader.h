// Segmented downloader: fetches one file over HTTP(S) into a local path on
// threads of its own and reports through Downloader::Delegate.
//
// Below 10 MiB the file goes over one connection. A larger file is cut into
// `threadCount` byte ranges, one connection and thread each: range 0 is written
// straight into the target, range j into the target path with j appended. A
// thread that finishes while a range with at least 10 MiB left is running
// takes over that range's second half. When only range 0's thread is left, one
// finishing thread reads the range files back in chain order and range 0's
// thread appends them to the target; each range file is deleted once read.
//
// Every transfer has a low-speed limit (no progress for `lowSpeedSeconds` is a
// transfer error, and the range's next attempt resumes where it stopped), so
// after Start returned true exactly one of OnError or OnComplete always comes.
// OnComplete only when the probe answered 2xx, every answer announced the
// probed length (Content-Length of a 200, the total of a 206's
// Content-Range), every write, flush and close succeeded and the target on
// disk holds exactly that length; otherwise OnError with a result of
// download_error.h. A server
// that does not honour byte ranges is detected before any byte is written, and
// the download is finished over one connection.
//
// Own it with shared ownership and keep it alive until its work is over: the
// threads use it by plain reference, and the destructor stops and joins them.
//
// Files: range bookkeeping in range_plan.h (pure), the length probe and the
// transfers in downloader_transfer.cpp, ranges, splits and the end of a
// segmented run in downloader_segments.cpp, the read-back and append in
// downloader_merge.cpp.
//
// Lock order (never take an earlier lock while holding a later one):
//   runLock -> splitLock -> tNode::lock -> progressSection
//                                       -> queueLock
// progressSection and queueLock are never held together. The delegate is
// called with progressSection held (segmented OnProgress) or runLock held
// (an error found while closing a range): it must not call back in.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/manual_reset_event.h"
#include "base/unique_file.h"
#include "download/download_error.h"
#include "download/range_plan.h"
#include "net/curl_handle.h"
#include "net/transfer_policy.h"

class Downloader {
 public:
  // Notifications, called on the downloader's threads (OnProgress also from
  // inside libcurl's progress callback); the implementation must be safe to
  // call from them. Not deleted through this interface.
  class Delegate {
   public:
    virtual void OnProgress(double downloaded, double total, double bytesPerSecond) = 0;
    virtual void OnStart() {}
    // A libcurl code (below 100) or an HTTP status of 400 or more.
    virtual void OnError(int code) = 0;
    virtual void OnComplete() = 0;
    virtual void OnMergeProgress(int64_t bytesInTarget) {}
    virtual void OnMergeStart() {}

   protected:
    ~Delegate() = default;
  };

  // One byte range and its transfer. `position` and `end` change under `lock`
  // only (the split lowers `end` while the range's transfer runs); other
  // threads may read them at any time.
  struct tNode {
    UniqueFile file;
    int64_t start = 0;
    std::atomic<int64_t> position{0};
    std::atomic<int64_t> end{0};
    int64_t size = 0;
    CurlHandle handle;
    std::atomic<double> speed{0};
    std::wstring path;
    std::atomic<int> nextId{-1};
    int64_t mergeOffset = 0;
    std::atomic<RangeState> state{RangeState::kNew};
    Downloader* owner = nullptr;

    std::mutex lock;
    // The current attempt: where its body must begin, whether its answer has
    // been checked, and the Content-Range of its final response.
    int64_t requestStart = 0;
    bool answerChecked = false;
    bool discardBody = false;
    std::string contentRange;
    bool encoded = false;  // the answer names a Content-Encoding: its length is the encoded one
    // Why the attempt must not go on whatever libcurl says: a length that
    // disagrees with the probe, a failed write or flush. Ends the range.
    DownloadError answerError;

    bool Complete() const { return position.load() == end.load() + 1; }
  };

  static constexpr int kDefaultLowSpeedSeconds = 30;

  // `policy` decides route and TLS checks of every transfer.
  Downloader(const std::string& url, const std::wstring& path, Delegate* delegate,
             int lowSpeedSeconds = kDefaultLowSpeedSeconds, const TransferPolicy& policy = TransferPolicy());
  ~Downloader();
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  // False when the transfer could not be prepared (no length, no file); no
  // delegate call is made then. True when it runs, or already runs (a call
  // while running changes nothing). The outcome comes later through OnError
  // or OnComplete on one of the downloader's threads. Call from one thread,
  // never from a delegate callback.
  bool Start();

  // After Start returned false: why, when the probe answered but not with
  // a usable length (kProbeStatus); none for other reasons.
  DownloadError StartError() const { return startError; }

  // Before Start: the first `have` bytes of the target are the file's when
  // the probe finds it `total` bytes long; the transfers then ask only for
  // the rest (range 0 continues after them). Otherwise Start begins at 0.
  void ContinueFrom(int64_t have, int64_t total) {
    continueHave = have;
    continueTotal = total;
  }
  // The bytes of the target the last Start kept.
  int64_t KeptBytes() const { return keptBytes; }

  int ThreadCount() const { return threadCount; }
  int64_t FileLength() const { return fileLength; }

 private:
  // idle or finished -> Start -> running -> finished (after OnComplete) or
  // failed (after OnError); Stop passes through stopping back to idle.
  enum class RunState { kRunning = 0, kFailed = 1, kIdle = 2, kStopping = 3 };
  // The numbers are those of the "KVDown:down_type" line.
  enum class Mode { kSingle = 0, kSegmented = 1 };

  // Length probe and planning (downloader.cpp, downloader_transfer.cpp).
  double GetDownloadFileLenth(const std::string& probeUrl);
  int Prepare();
  bool PrepareSingle(int64_t keep = 0);
  // A range whose file already holds its first `keep` bytes (the target only).
  std::shared_ptr<tNode> NewNode(int64_t start, int64_t end, int nextId, const std::wstring& filePath,
                                 int64_t keep = 0);
  void SetTransferOptions(tNode& node, bool segmented);
  TransferLimits Limits() const;
  void LogRange(int id, const tNode& node);
  // Snapshots of the segmented ranges; RangesLocked with progressSection held.
  std::vector<RangeProgress> Ranges();
  std::vector<RangeProgress> RangesLocked() const;

  // Transfers (downloader_transfer.cpp).
  int RunAttempts(tNode& node, bool alwaysRanged);
  DownloadError AttemptFailure(const tNode& node, int curlResult) const;
  void RunSingle();
  DownloadError CloseAndMeasure(tNode& node);
  static size_t WriteRange(char* data, size_t size, size_t count, void* context) noexcept;
  static size_t ReadHeader(char* data, size_t size, size_t count, void* context) noexcept;
  static int SingleProgress(void* context, int64_t dlTotal, int64_t dlNow, int64_t ulTotal,
                            int64_t ulNow) noexcept;
  static int SegmentedProgress(void* context, int64_t dlTotal, int64_t dlNow, int64_t ulTotal,
                               int64_t ulNow) noexcept;
  bool AcceptAnswer(tNode& node);

  // Segmented mode (downloader_segments.cpp, downloader_merge.cpp).
  void Worker(int id);
  void CloseWorker();
  bool SplitLargest();
  void Reader();
  DownloadError MergeWriter(tNode& first);
  void FinishSegmented();
  void FinishOverOneConnection();

  // The end of a run (downloader.cpp).
  void Fail(const DownloadError& error);
  void WakeMergeWaits();
  bool Aborting() const;
  std::shared_ptr<tNode> NodeById(int id);
  static void ReleaseNode(tNode& node);
  void Stop();
  void StopThreads();
  void Cleanup();

  std::string url;
  std::wstring path;
  Delegate* delegate;
  const TransferPolicy policy;
  std::atomic<RunState> state{RunState::kIdle};
  int64_t fileLength = 0;
  int64_t continueHave = 0;
  int64_t continueTotal = -1;
  int64_t keptBytes = 0;
  Mode mode = Mode::kSingle;
  int threadCount;
  int readChunk;
  int runningWorkers = 0;                       // guarded by runLock
  std::map<int, std::shared_ptr<tNode>> nodes;  // guarded by progressSection
  std::shared_ptr<tNode> singleNode;
  std::vector<std::thread> workerThreads;  // guarded by runLock
  std::thread singleThread;
  std::list<std::string> mergeQueue;  // guarded by queueLock
  std::atomic<int64_t> mergedBytes{0};
  int probeRetries = 0;
  DownloadError startError;
  bool peerFailureSeen = false;
  ManualResetEvent stopEvent;
  std::mutex queueLock;
  std::condition_variable dataReady;
  std::condition_variable roomReady;
  std::mutex splitLock;
  std::mutex runLock;
  std::mutex progressSection;
  const int lowSpeedSeconds;

  // A range answered without honouring the byte range: every transfer stops
  // and the last thread out downloads the file over one connection.
  std::atomic<bool> rangeRefused{false};
  // The reader has queued all it will queue; the merge writer stops waiting.
  bool readerDone = false;  // guarded by queueLock
  std::atomic<bool> mergeFailed{false};
};
