// Downloader: the length probe, the plan, the threads and the end of a run.
#include "download/downloader.h"

#include <curl/curl.h>

#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "base/text_convert.h"
#include "download/file_ops.h"
#include "download/range_merge.h"

namespace {
constexpr long kConnectTimeoutMs = 50000;

size_t DiscardHeader(char*, size_t size, size_t count, void*) { return size * count; }

// The folder part of a path: up to its last separator; empty when none.
std::wstring FolderOf(const std::wstring& path) {
  const size_t at = path.find_last_of(L"\\/");
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}
}  // namespace

Downloader::Downloader(const std::string& url, const std::wstring& path, Delegate* delegate,
                       int lowSpeedSeconds, const TransferPolicy& policy)
    : url(url),
      path(path),
      delegate(delegate),
      policy(policy),
      lowSpeedSeconds(lowSpeedSeconds > 0 ? lowSpeedSeconds : kDefaultLowSpeedSeconds),
      threadCount(SegmentedThreadCount(ProcessorCount())),
      readChunk(100 * AllocationGranularity()) {}

Downloader::~Downloader() { Stop(); }

TransferLimits Downloader::Limits() const {
  TransferLimits limits;
  limits.connectTimeoutMs = kConnectTimeoutMs;
  // No limit on the whole transfer, but a stalled one ends as an error; a
  // server that accepts the connection and never answers must not hold the
  // start for ever either.
  limits.lowSpeedSeconds = lowSpeedSeconds;
  return limits;
}

double Downloader::GetDownloadFileLenth(const std::string& probeUrl) {
  for (;;) {
    double length = -1;
    int code = CURLE_FAILED_INIT;
    CurlHandle handle = CurlHandle::Create();
    long status = 0;
    if (handle) {
      curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
      curl_easy_setopt(handle.get(), CURLOPT_HEADERFUNCTION, DiscardHeader);
      code = PerformTransfer(handle.get(), probeUrl, policy, Limits());
      curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    }
    if (code != CURLE_OK) {
      DebugOut("KVDown:___GetDownloadFileLenth ret is :" + std::to_string(code));
    } else if (status < 200 || status > 299) {
      // The length of an error page is not the file's; asking again changes nothing.
      DebugOut("KVDown: length probe answered " + std::to_string(status));
      startError = DownloadError::Of(DownloadError::Kind::kProbeStatus);
      return -1;
    } else {
      curl_off_t value = -1;
      if (curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) == CURLE_OK) {
        length = static_cast<double>(value);
      }
    }
    handle.reset();
    char line[128];
    std::snprintf(line, sizeof(line), "KVDown:___GetDownloadFileLenth:%f", length);
    DebugOut(line);
    if (code == CURLE_OK || probeRetries < 1) return length;
    --probeRetries;
    if (code == CURLE_PEER_FAILED_VERIFICATION && !peerFailureSeen) {
      peerFailureSeen = true;
      DebugOut("KVDown: CURLE_PEER_FAILED_VERIFICATION change--------");
    }
    DebugOut("KVDown: GetDownloadFileLenth try agine--------");
  }
}

bool Downloader::PrepareSingle(int64_t keep) {
  run.Begin(delegate, fileLength, false, keep);
  singleNode = std::make_shared<tNode>(run, 0, fileLength - 1, -1, path, keep);
  return singleNode->Ready();
}

int Downloader::Prepare() {
  Cleanup();
  probeRetries = 3;
  startError = DownloadError();
  fileLength = ProbedFileLength(GetDownloadFileLenth(url));
  if (fileLength <= 0) return 0;
  DebugOut("KVDown: downfile_length=" + std::to_string(fileLength));

  const std::wstring folder = FolderOf(path);
  if (!folder.empty()) EnsureFolderW(folder);

  // Bytes an earlier attempt left are kept when they belong to a file of
  // this length; the ranges then cover only the missing part, and range 0
  // (the target) carries on after the kept bytes.
  keptBytes = 0;
  if (continueHave > 0 && continueHave < fileLength && continueTotal == fileLength &&
      FileSizeW(path) == continueHave) {
    keptBytes = continueHave;
    DebugOut("continuing at " + std::to_string(keptBytes) + " of " + std::to_string(fileLength) + " bytes");
  }
  if (fileLength - keptBytes < kSegmentedMinimum) return PrepareSingle(keptBytes) ? 1 : 0;

  run.Begin(delegate, fileLength, true, keptBytes);
  const std::vector<PlannedRange> plan = PlanRanges(fileLength - keptBytes, threadCount);
  for (size_t j = 0; j < plan.size(); ++j) {
    const int id = static_cast<int>(j);
    const std::wstring filePath = id == 0 ? path : path + DecimalWide(id);
    const int64_t start = id == 0 ? 0 : plan[j].start + keptBytes;
    auto node = std::make_shared<tNode>(run, start, plan[j].end + keptBytes, plan[j].nextId, filePath,
                                        id == 0 ? keptBytes : 0);
    node->LogLine(id);
    nodes.Add(id, node);
    if (!node->Ready()) return 0;
  }
  return static_cast<int>(plan.size());
}

bool Downloader::Start() {
  if (state == RunState::kRunning) return true;
  // Threads of an earlier run are joined before their ranges are released.
  StopThreads();
  const int n = Prepare();
  if (n == 0) return false;
  mergeQueue.Reopen();
  run.Go();
  state = RunState::kRunning;
  if (delegate) delegate->OnStart();
  std::string failure;
  if (n == 1) {
    mode = Mode::kSingle;
    ThreadStart single = StartGuardedThread("download", [this] { RunSingle(); });
    if (single.started)
      singleThread = std::move(single.thread);
    else
      failure = single.failure;
  } else {
    mode = Mode::kSegmented;
    std::lock_guard<std::mutex> guard(runLock);
    runningWorkers = 0;
    for (int id = 0; id < n && failure.empty(); ++id) StartWorker(id, failure);
  }
  if (!failure.empty()) {
    // No thread could be made: stop the ones that run, as the destruction would.
    DebugOut("KVDown: cannot start threads: " + failure);
    Stop();
    return false;
  }
  DebugOut("KVDown:down_type " + std::to_string(static_cast<int>(mode)));
  return true;
}

void Downloader::RunSingle() {
  try {
    std::shared_ptr<tNode> node = singleNode;
    const int result = node->RunAttempts(url, policy, Limits(), false);
    if (state != RunState::kRunning) return;
    if (const DownloadError failure = node->Failure(result)) {
      Fail(failure);
      return;
    }
    // The target is closed before the delegate hears of it, so it may be used
    // at once; it is whole only when the close succeeded and the disk holds
    // the announced length.
    if (const DownloadError failure = node->CloseAndMeasure()) {
      Fail(failure);
      return;
    }
    Finished();
  } catch (const std::exception& e) {
    DebugOut(std::string("KVDown: single download stopped: ") + e.what());
    Fail(DownloadError::Transfer(CURLE_OUT_OF_MEMORY));
  }
}

void Downloader::Worker(int id) {
  std::shared_ptr<tNode> node = nodes.Find(id);
  DownloadError failure;
  try {
    if (node && state == RunState::kRunning && node->state == RangeState::kDownloading) {
      const int result = node->RunAttempts(url, policy, Limits(), true);
      if (const DownloadError answer = node->AnswerError()) {
        failure = answer;
      } else if (node->Complete()) {
        node->state = RangeState::kDone;
      } else if (!Aborting()) {
        failure = node->Failure(result);
      }
      // A refused range ends the merge wait of range 0's thread too.
      if (run.RangesRefused()) mergeQueue.Cancel();
    }
    if (node) node->ClearSpeed();
    if (!failure && node && node->state == RangeState::kDone) {
      std::fflush(node->file.get());
      if (id != 0) {
        SeekFile64(node->file.get(), 0, SEEK_SET);  // to be read back
      } else {
        failure = AppendMerged(*node, run, mergeQueue, delegate);
      }
    }
  } catch (const std::exception& e) {
    DebugOut("KVDown: range " + std::to_string(id) + " stopped: " + e.what());
    failure = DownloadError::Transfer(CURLE_OUT_OF_MEMORY);
  }
  // A failure is reported before the closing section, so that a reader that
  // waits for room while holding runLock is released by it.
  if (failure) Fail(failure);
  CloseWorker();
}

void Downloader::CloseWorker() {
  std::unique_lock<std::mutex> guard(runLock);
  --runningWorkers;
  if (state != RunState::kRunning) return;
  try {
    if (run.RangesRefused()) {
      if (runningWorkers == 0) {
        guard.unlock();
        FinishOverOneConnection();
      }
      return;
    }
    if (runningWorkers > 0) {
      if (SplitLargest()) return;
      // Only range 0's thread is left (it stays counted until its merge
      // ends): read the range files back. runLock keeps every other
      // finishing thread out meanwhile, so no split changes the chain.
      if (runningWorkers == 1) {
        ReadBackRanges(nodes, MergeChain(nodes.Snapshot()), static_cast<size_t>(readChunk), mergeQueue);
      }
      return;
    }
    FinishSegmented();
  } catch (const std::exception& e) {
    DebugOut(std::string("KVDown: closing a range failed: ") + e.what());
    Fail(DownloadError::Transfer(CURLE_OUT_OF_MEMORY));
  }
}

// Called with runLock held.
bool Downloader::SplitLargest() {
  const std::vector<RangeProgress> view = nodes.Snapshot();
  const int v = ChooseSplitVictim(view);
  if (v < 0) return false;
  std::shared_ptr<tNode> victim = nodes.Find(v);
  if (!victim) return false;
  const int m = static_cast<int>(view.size());
  std::shared_ptr<tNode> added;
  const bool split = victim->Split(m, [&](const RangeSplit& cut) {
    added = std::make_shared<tNode>(run, cut.newStart, cut.newEnd, cut.newNextId, path + DecimalWide(m));
    if (!added->Ready()) {
      added->Release();
      return false;
    }
    nodes.Add(m, added);
    return true;
  });
  if (!split) return false;
  added->LogLine(m);
  victim->LogLine(v);
  std::string failure;
  if (!StartWorker(m, failure)) {
    // The split-off bytes will never come: the run ends with an error.
    DebugOut("KVDown: no thread for range " + std::to_string(m) + ": " + failure);
    Fail(DownloadError::Transfer(CURLE_OUT_OF_MEMORY));
  }
  return true;
}

// Called with runLock held.
bool Downloader::StartWorker(int id, std::string& failure) {
  ++runningWorkers;
  ThreadStart worker = StartGuardedThread("download range " + std::to_string(id), [this, id] { Worker(id); });
  if (worker.started) {
    workerThreads.push_back(std::move(worker.thread));
    return true;
  }
  --runningWorkers;
  failure = worker.failure;
  return false;
}

// The last worker of a successful run: complete only when the target holds
// exactly the probed length. Called with runLock held.
void Downloader::FinishSegmented() {
  std::shared_ptr<tNode> first = nodes.Find(0);
  int64_t size = -1;
  if (first && first->file && std::fflush(first->file.get()) == 0 &&
      SeekFile64(first->file.get(), 0, SEEK_END)) {
    size = TellFile64(first->file.get());
  }
  if (run.mergedBytes != fileLength || size != fileLength) {
    DebugOut("KVDown: target holds " + std::to_string(size) + " of " + std::to_string(fileLength));
    Fail(DownloadError::Transfer(CURLE_WRITE_ERROR));
    return;
  }
  if (const DownloadError failure = first->CloseAndMeasure()) {
    Fail(failure);
    return;
  }
  Finished();
}

// Every range has stopped because the server did not honour a byte range:
// the range files go, and the file comes over one connection instead.
void Downloader::FinishOverOneConnection() {
  DebugOut("KVDown: byte ranges not honoured, downloading over one connection");
  const std::vector<std::wstring> rangeFiles = nodes.RangeFiles();
  Cleanup();
  for (const std::wstring& file : rangeFiles) DeleteFileAt(file);
  if (state != RunState::kRunning) return;
  mode = Mode::kSingle;
  if (!PrepareSingle()) {
    Fail(DownloadError::Transfer(CURLE_WRITE_ERROR));
    return;
  }
  DebugOut("KVDown:down_type 0");
  RunSingle();
}

void Downloader::Finished() {
  Cleanup();
  state = RunState::kIdle;
  run.End();
  if (delegate) delegate->OnComplete();
}

void Downloader::Fail(const DownloadError& error) {
  RunState expected = RunState::kRunning;
  // Stopping, or already reported: nothing more is said.
  if (!state.compare_exchange_strong(expected, RunState::kFailed)) return;
  run.End();
  mergeQueue.Cancel();
  if (delegate) delegate->OnError(error.Code());
}

void Downloader::Stop() {
  state = RunState::kStopping;
  run.End();
  StopThreads();
  Cleanup();
  state = RunState::kIdle;
}

void Downloader::StopThreads() {
  mergeQueue.Cancel();
  // A finishing worker may start a split thread while others are joined, so
  // take the list in rounds until it stays empty.
  for (;;) {
    std::vector<GuardedThread> threads;
    {
      std::lock_guard<std::mutex> guard(runLock);
      threads.swap(workerThreads);
    }
    if (threads.empty()) break;
    // A worker that stops its own run is let go, with a line, not waited for.
    for (GuardedThread& t : threads) t.Join();
  }
  {
    std::lock_guard<std::mutex> guard(runLock);
    runningWorkers = 0;
  }
  singleThread.Join();
}

void Downloader::Cleanup() {
  if (singleNode) singleNode->Release();
  singleNode.reset();
  nodes.ReleaseAll();
}
