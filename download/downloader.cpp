// Downloader: construction, the length probe, planning, start and stop.
#include "download/downloader.h"

#include <curl/curl.h>

#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "download/file_ops.h"
#include "download/range_plan.h"
#include "net/http_client.h"

namespace {
constexpr long kConnectTimeoutMs = 50000;

size_t DiscardHeader(char*, size_t size, size_t count, void*) { return size * count; }

// The folder part of a path: up to its last separator; empty when none.
std::wstring FolderOf(const std::wstring& path) {
  const size_t at = path.find_last_of(L"\\/");
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

void ApplyProxy(CURL* handle) {
  if (HttpProxyEnabled) curl_easy_setopt(handle, CURLOPT_PROXY, "127.0.0.1:8888");
  ApplyTlsPolicy(handle);
}
}  // namespace

Downloader::Downloader(const std::string& url, const std::wstring& path, Delegate* delegate,
                       int lowSpeedSeconds)
    : url(url),
      path(path),
      delegate(delegate),
      threadCount(SegmentedThreadCount(ProcessorCount())),
      readChunk(100 * AllocationGranularity()),
      lowSpeedSeconds(lowSpeedSeconds > 0 ? lowSpeedSeconds : kDefaultLowSpeedSeconds) {}

Downloader::~Downloader() { Stop(); }

double Downloader::GetDownloadFileLenth(const std::string& probeUrl) {
  for (;;) {
    double length = -1;
    CURLcode code = CURLE_FAILED_INIT;
    CURL* handle = curl_easy_init();
    if (handle) {
      ApplyProxy(handle);
      curl_easy_setopt(handle, CURLOPT_URL, probeUrl.c_str());
      curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
      curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, DiscardHeader);
      curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
      curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
      curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
      // A server that accepts the connection and never answers must not hold
      // the start for ever.
      curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
      curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(lowSpeedSeconds));
      code = curl_easy_perform(handle);
    }
    if (code != CURLE_OK) {
      DebugOut("KVDown:___GetDownloadFileLenth ret is :" + std::to_string(code));
    } else {
      curl_off_t value = -1;
      if (curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) == CURLE_OK) {
        length = static_cast<double>(value);
      }
    }
    if (handle) curl_easy_cleanup(handle);
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

std::shared_ptr<Downloader::tNode> Downloader::NewNode(int64_t start, int64_t end, int nextId,
                                                       const std::wstring& filePath) {
  auto node = std::make_shared<tNode>();
  node->start = start;
  node->position = start;
  node->end = end;
  node->size = end - start + 1;
  node->nextId = nextId;
  node->mergeOffset = start;
  node->path = filePath;
  node->owner = this;
  node->state = 1;
  node->handle = curl_easy_init();
  node->file = OpenFileW(filePath, "wb+");
  return node;
}

void Downloader::LogRange(int id, const tNode& node) {
  DebugOutW(L"KVDown: thread " + std::to_wstring(id) + L":" + std::to_wstring(node.start) + L"--" +
            std::to_wstring(node.end.load()) + L",currentpos is " + std::to_wstring(node.position.load()) +
            L",nextid is " + std::to_wstring(node.nextId.load()));
}

void Downloader::SetTransferOptions(tNode& node, bool segmented) {
  CURL* h = node.handle;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &node);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteRange);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &node);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &node);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, segmented ? SegmentedProgress : SingleProgress);
  ApplyProxy(h);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip");
  // No limit on the whole transfer, but a stalled one ends as an error.
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(lowSpeedSeconds));
}

bool Downloader::PrepareSingle() {
  mergedBytes = 0;
  singleNode = NewNode(0, fileLength - 1, -1, path);
  if (!singleNode->handle || !singleNode->file) return false;
  SetTransferOptions(*singleNode, false);
  return true;
}

int Downloader::Prepare() {
  Cleanup();
  probeRetries = 3;
  fileLength = ProbedFileLength(GetDownloadFileLenth(url));
  if (fileLength <= 0) return 0;
  DebugOut("KVDown: downfile_length=" + std::to_string(fileLength));

  const std::wstring folder = FolderOf(path);
  if (!folder.empty()) EnsureFolderW(folder);

  if (fileLength < kSegmentedMinimum) return PrepareSingle() ? 1 : 0;

  mergedBytes = 0;
  const std::vector<PlannedRange> plan = PlanRanges(fileLength, threadCount);
  for (size_t j = 0; j < plan.size(); ++j) {
    const int id = static_cast<int>(j);
    const std::wstring filePath = id == 0 ? path : path + std::to_wstring(id);
    auto node = NewNode(plan[j].start, plan[j].end, plan[j].nextId, filePath);
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
  if (state == 0) return true;
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
  mergeError = 0;
  state = 0;
  if (delegate) delegate->OnStart();
  try {
    if (n == 1) {
      mode = 0;
      singleThread = std::thread([this] { RunSingle(); });
    } else {
      mode = 1;
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
  DebugOut("KVDown:down_type " + std::to_string(mode));
  return true;
}

void Downloader::Stop() {
  state = 3;
  StopThreads();
  Cleanup();
  state = 2;
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
  if (node.file) {
    std::fflush(node.file);
    std::fclose(node.file);
    node.file = nullptr;
  }
  if (node.handle) {
    curl_easy_cleanup(node.handle);
    node.handle = nullptr;
  }
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

bool Downloader::Aborting() const { return state != 0 || rangeRefused; }
