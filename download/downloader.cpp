// Downloader: construction, planning, start, stop and the end of a run.
#include "download/downloader.h"

#include <curl/curl.h>

#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "download/file_ops.h"

namespace {
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
      threadCount(SegmentedThreadCount(ProcessorCount())),
      readChunk(100 * AllocationGranularity()),
      lowSpeedSeconds(lowSpeedSeconds > 0 ? lowSpeedSeconds : kDefaultLowSpeedSeconds) {}

Downloader::~Downloader() { Stop(); }

std::shared_ptr<Downloader::tNode> Downloader::NewNode(int64_t start, int64_t end, int nextId,
                                                       const std::wstring& filePath, int64_t keep) {
  auto node = std::make_shared<tNode>();
  node->start = start;
  node->position = start + keep;
  node->end = end;
  node->size = end - start + 1;
  node->nextId = nextId;
  node->mergeOffset = start;
  node->path = filePath;
  node->owner = this;
  node->state = RangeState::kDownloading;
  node->handle = CurlHandle::Create();
  node->file.reset(OpenFileW(filePath, keep > 0 ? "rb+" : "wb+"));
  if (keep > 0 && node->file && !SeekFile64(node->file.get(), start + keep, SEEK_SET)) node->file.reset();
  return node;
}

void Downloader::LogRange(int id, const tNode& node) {
  DebugOutW(L"KVDown: thread " + std::to_wstring(id) + L":" + std::to_wstring(node.start) + L"--" +
            std::to_wstring(node.end.load()) + L",currentpos is " + std::to_wstring(node.position.load()) +
            L",nextid is " + std::to_wstring(node.nextId.load()));
}

std::vector<RangeProgress> Downloader::RangesLocked() const {
  std::vector<RangeProgress> view;
  view.reserve(nodes.size());
  for (const auto& entry : nodes) {
    const tNode& n = *entry.second;
    view.push_back({entry.first, n.state.load(), n.position.load(), n.end.load(), n.start, n.nextId.load(),
                    n.speed.load()});
  }
  return view;
}

std::vector<RangeProgress> Downloader::Ranges() {
  std::lock_guard<std::mutex> guard(progressSection);
  return RangesLocked();
}

bool Downloader::PrepareSingle(int64_t keep) {
  mergedBytes = keep;
  singleNode = NewNode(0, fileLength - 1, -1, path, keep);
  if (!singleNode->handle || !singleNode->file) return false;
  SetTransferOptions(*singleNode, false);
  return true;
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

  mergedBytes = keptBytes;
  const std::vector<PlannedRange> plan = PlanRanges(fileLength - keptBytes, threadCount);
  for (size_t j = 0; j < plan.size(); ++j) {
    const int id = static_cast<int>(j);
    const std::wstring filePath = id == 0 ? path : path + std::to_wstring(id);
    const int64_t start = id == 0 ? 0 : plan[j].start + keptBytes;
    auto node = NewNode(start, plan[j].end + keptBytes, plan[j].nextId, filePath, id == 0 ? keptBytes : 0);
    LogRange(id, *node);
    {
      std::lock_guard<std::mutex> guard(progressSection);
      nodes[id] = node;
    }
    if (!node->handle || !node->file) return 0;
    SetTransferOptions(*node, true);
  }
  return static_cast<int>(plan.size());
}

bool Downloader::Start() {
  if (state == RunState::kRunning) return true;
  // Threads of an earlier run are joined before their ranges are released.
  StopThreads();
  const int n = Prepare();
  if (n == 0) return false;
  {
    std::lock_guard<std::mutex> guard(queueLock);
    readerDone = false;
  }
  rangeRefused = false;
  mergeFailed = false;
  state = RunState::kRunning;
  if (delegate) delegate->OnStart();
  try {
    if (n == 1) {
      mode = Mode::kSingle;
      singleThread = std::thread([this] { RunSingle(); });
    } else {
      mode = Mode::kSegmented;
      stopEvent.Reset();
      std::lock_guard<std::mutex> run(runLock);
      runningWorkers = 0;
      for (int id = 0; id < n; ++id) {
        ++runningWorkers;
        workerThreads.emplace_back([this, id] { Worker(id); });
      }
    }
  } catch (const std::exception& e) {
    // No thread could be made: stop the ones that run, as the destruction would.
    DebugOut(std::string("KVDown: cannot start threads: ") + e.what());
    Stop();
    return false;
  }
  DebugOut("KVDown:down_type " + std::to_string(static_cast<int>(mode)));
  return true;
}

void Downloader::Stop() {
  state = RunState::kStopping;
  StopThreads();
  Cleanup();
  state = RunState::kIdle;
}

void Downloader::StopThreads() {
  stopEvent.Set();
  WakeMergeWaits();
  // A finishing worker may start a split thread while others are joined, so
  // take the list in rounds until it stays empty.
  for (;;) {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> run(runLock);
      threads.swap(workerThreads);
    }
    if (threads.empty()) break;
    for (std::thread& t : threads) {
      if (t.joinable() && t.get_id() != std::this_thread::get_id())
        t.join();
      else if (t.joinable())
        t.detach();
    }
  }
  {
    std::lock_guard<std::mutex> guard(queueLock);
    mergeQueue.clear();
  }
  {
    std::lock_guard<std::mutex> run(runLock);
    runningWorkers = 0;
  }
  if (singleThread.joinable()) {
    if (singleThread.get_id() != std::this_thread::get_id())
      singleThread.join();
    else
      singleThread.detach();
  }
}

void Downloader::ReleaseNode(tNode& node) {
  node.file.reset();  // flushes
  node.handle.reset();
}

void Downloader::Cleanup() {
  if (singleNode) ReleaseNode(*singleNode);
  std::lock_guard<std::mutex> guard(progressSection);
  for (auto& entry : nodes) ReleaseNode(*entry.second);
  singleNode.reset();
  nodes.clear();
}

std::shared_ptr<Downloader::tNode> Downloader::NodeById(int id) {
  std::lock_guard<std::mutex> guard(progressSection);
  auto it = nodes.find(id);
  return it == nodes.end() ? nullptr : it->second;
}

void Downloader::WakeMergeWaits() {
  std::lock_guard<std::mutex> guard(queueLock);
  dataReady.notify_all();
  roomReady.notify_all();
}

bool Downloader::Aborting() const { return state != RunState::kRunning || rangeRefused; }

void Downloader::Fail(const DownloadError& error) {
  RunState expected = RunState::kRunning;
  // Stopping, or already reported: nothing more is said.
  if (!state.compare_exchange_strong(expected, RunState::kFailed)) return;
  WakeMergeWaits();
  if (delegate) delegate->OnError(error.Code());
}
