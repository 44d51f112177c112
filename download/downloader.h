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
// download_error.h. A server that does not honour byte ranges is detected
// before any byte is written, and the download is finished over one
// connection.
//
// Own it with shared ownership and keep it alive until its work is over: the
// threads use it by plain reference, and the destructor stops and joins them.
//
// Parts: the plan and the lifecycle here; one range's transfer and what the
// ranges of a run share in range_transfer.h; the ranges by id in
// range_table.h; the read-back and append in range_merge.h over the bounded
// MergeQueue; the progress snapshot and its throttle in download_progress.h;
// the pure range bookkeeping in range_plan.h.
//
// Locks, one per class; never take an earlier one while holding a later one:
//   Downloader::runLock -> RangeTransfer::lock -> RangeTable::tableLock
//   Downloader::runLock -> MergeQueue::queueLock
// RangeRun::progressSection is taken alone. The delegate is called with
// progressSection held (OnProgress) or runLock held (the end of a segmented
// run): it must not call back in.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/guarded_thread.h"
#include "download/download_delegate.h"
#include "download/download_error.h"
#include "download/merge_queue.h"
#include "download/range_plan.h"
#include "download/range_table.h"
#include "download/range_transfer.h"
#include "net/transfer_policy.h"

class Downloader {
 public:
  using Delegate = DownloadDelegate;
  using tNode = RangeTransfer;

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

  // The length probe and the plan.
  double GetDownloadFileLenth(const std::string& probeUrl);
  TransferLimits Limits() const;
  int Prepare();
  bool PrepareSingle(int64_t keep = 0);

  // The threads' bodies.
  void RunSingle();
  void Worker(int id);
  // Starts range `id`'s worker thread, counted in runningWorkers; false with
  // `failure` set when no thread could be made. Called with runLock held.
  bool StartWorker(int id, std::string& failure);
  void CloseWorker();
  bool SplitLargest();
  void FinishSegmented();
  void FinishOverOneConnection();

  // The end of a run.
  void Fail(const DownloadError& error);
  void Finished();
  bool Aborting() const { return state != RunState::kRunning || run.RangesRefused(); }
  void Stop();
  void StopThreads();
  void Cleanup();

  std::string url;
  std::wstring path;
  Delegate* delegate;
  const TransferPolicy policy;
  const int lowSpeedSeconds;
  std::atomic<RunState> state{RunState::kIdle};
  int64_t fileLength = 0;
  int64_t continueHave = 0;
  int64_t continueTotal = -1;
  int64_t keptBytes = 0;
  Mode mode = Mode::kSingle;
  int threadCount;
  int readChunk;
  int probeRetries = 0;
  bool peerFailureSeen = false;
  DownloadError startError;

  RangeRun run;  // shared by the transfers' callbacks; outlives every thread
  RangeTable nodes;
  std::shared_ptr<tNode> singleNode;
  MergeQueue mergeQueue;

  std::mutex runLock;
  int runningWorkers = 0;                  // guarded by runLock
  std::vector<GuardedThread> workerThreads;  // guarded by runLock
  GuardedThread singleThread;
};
