// Downloader: segmented mode. One worker per range; a finishing worker splits
// the largest remaining range or, when only range 0's thread is left, reads
// the range files back for range 0's thread to append to the target.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <new>

#include "base/debug_output.h"
#include "download/downloader.h"
#include "download/file_ops.h"
#include "download/range_plan.h"

namespace {
long ResponseCode(CURL* handle) {
  long status = 0;
  if (handle) curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

constexpr size_t kQueueLimit = 40;
}  // namespace

void Downloader::Worker(int id) {
  std::shared_ptr<tNode> node = NodeById(id);
  int failure = 0;
  try {
    if (node && state == 0 && node->state == 1) {
      const int result = RunAttempts(*node, true);
      if (node->Complete()) {
        node->state = 2;
      } else if (!Aborting()) {
        const long status = ResponseCode(node->handle);
        failure =
            result != CURLE_OK ? result : (status >= 400 ? static_cast<int>(status) : CURLE_PARTIAL_FILE);
      }
    }
    if (node) node->speed = 0;
    if (!failure && node && node->state == 2) {
      std::fflush(node->file);
      if (id != 0) {
        SeekFile64(node->file, 0, SEEK_SET);  // to be read back
      } else {
        failure = MergeWriter(*node);
      }
    }
  } catch (const std::exception& e) {
    DebugOut("KVDown: range " + std::to_string(id) + " stopped: " + e.what());
    failure = CURLE_OUT_OF_MEMORY;
  }
  // A failure is reported before the closing section, so that a reader that
  // waits for room while holding runLock is released by it.
  if (failure) Fail(failure);
  CloseWorker();
}

void Downloader::CloseWorker() {
  std::unique_lock<std::mutex> run(runLock);
  --runningWorkers;
  if (state != 0) return;
  try {
    if (rangeRefused) {
      if (runningWorkers == 0) {
        run.unlock();
        FinishOverOneConnection();
      }
      return;
    }
    if (runningWorkers > 0) {
      std::lock_guard<std::mutex> split(splitLock);
      if (SplitLargest()) return;
      // Only range 0's thread is left (it stays counted until its merge ends).
      if (runningWorkers == 1) Reader();
      return;
    }
    FinishSegmented();
  } catch (const std::exception& e) {
    DebugOut(std::string("KVDown: closing a range failed: ") + e.what());
    Fail(CURLE_OUT_OF_MEMORY);
  }
}

// Called with runLock and splitLock held.
bool Downloader::SplitLargest() {
  std::vector<RangeProgress> view;
  int count = 0;
  {
    std::lock_guard<std::mutex> guard(progressSection);
    for (const auto& entry : nodes) {
      view.push_back(
          {entry.first, entry.second->state.load(), entry.second->position.load(), entry.second->end.load()});
    }
    count = static_cast<int>(nodes.size());
  }
  const int v = ChooseSplitVictim(view);
  if (v < 0) return false;
  std::shared_ptr<tNode> victim = NodeById(v);
  if (!victim) return false;
  const int m = count;
  std::shared_ptr<tNode> added;
  {
    // Holding the victim's lock keeps its writer from moving `position` past
    // the new end while the end is lowered.
    std::lock_guard<std::mutex> guard(victim->lock);
    if (victim->state != 1 || victim->end - victim->position < kSegmentedMinimum) return false;
    const int64_t newStart = SplitStart(victim->position, victim->end);
    added = NewNode(newStart, victim->end, victim->nextId, path + std::to_wstring(m));
    if (!added->file || !added->handle) {
      ReleaseNode(*added);
      return false;
    }
    SetTransferOptions(*added, true);
    std::lock_guard<std::mutex> progress(progressSection);
    nodes[m] = added;
    victim->end = newStart - 1;
    victim->nextId = m;
    victim->size = victim->end - victim->start + 1;
  }
  LogRange(m, *added);
  LogRange(v, *victim);
  ++runningWorkers;
  try {
    workerThreads.emplace_back([this, m] { Worker(m); });
  } catch (const std::exception& e) {
    // The split-off bytes will never come: the run ends with an error.
    --runningWorkers;
    DebugOut(std::string("KVDown: no thread for range ") + std::to_string(m) + ": " + e.what());
    Fail(CURLE_OUT_OF_MEMORY);
  }
  return true;
}

// Reads the range files back in chain order into the merge queue. Called with
// runLock and splitLock held, when every range but range 0 is done.
void Downloader::Reader() {
  try {
    std::vector<char> buffer(static_cast<size_t>(readChunk));
    std::shared_ptr<tNode> first = NodeById(0);
    int id = first ? first->nextId.load() : -1;
    while (id != -1) {
      std::shared_ptr<tNode> node = NodeById(id);
      if (!node) break;
      DebugOutW(L"KVDown: rebuild " + std::to_wstring(id) + L":" + std::to_wstring(node->start) + L"--" +
                std::to_wstring(node->end.load()) + L",file is  " + node->path);
      auto markMerged = [&node] {
        node->state = 3;
        std::fclose(node->file);
        node->file = nullptr;
        DeleteFileAt(node->path);
      };
      bool gaveBytes = false;
      while (node->state != 3 && !Aborting() && !mergeFailed) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), node->file);
        DebugOut("KVDown: read " + std::to_string(id) + "," + std::to_string(n) + "," +
                 std::to_string(LastSystemError()));
        if (n == 0) {
          if (gaveBytes) markMerged();
          break;
        }
        gaveBytes = true;
        std::string chunk;
        for (;;) {
          try {
            chunk.assign(buffer.data(), n);
            break;
          } catch (const std::bad_alloc&) {
            // Wait for the merge writer to free the queued chunks.
            std::unique_lock<std::mutex> q(queueLock);
            if (mergeQueue.empty() || Aborting() || mergeFailed) throw;
            q.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }
        {
          std::unique_lock<std::mutex> q(queueLock);
          if (mergeQueue.size() > kQueueLimit) {
            roomReady.wait(
                q, [this] { return mergeQueue.empty() || stopEvent.IsSet() || Aborting() || mergeFailed; });
          }
          if (Aborting() || mergeFailed) break;
          mergeQueue.push_back(std::move(chunk));
          node->mergeOffset += static_cast<int64_t>(n);
        }
        dataReady.notify_all();
        if (n < buffer.size()) markMerged();
      }
      if (Aborting() || mergeFailed) break;
      id = node->nextId;
    }
  } catch (const std::exception& e) {
    DebugOut(std::string("KVDown: read back stopped: ") + e.what());
  }
  // Whatever was queued is all there will be: the merge writer stops waiting.
  std::lock_guard<std::mutex> q(queueLock);
  readerDone = true;
  dataReady.notify_all();
}

// Range 0's thread, once its own range is done: appends the queued chunks to
// the target. 0 when the target holds the whole file or the run was stopped;
// otherwise the error to report.
int Downloader::MergeWriter(tNode& first) {
  bool started = false;
  SeekFile64(first.file, first.end + 1, SEEK_SET);
  for (;;) {
    std::list<std::string> taken;
    {
      std::unique_lock<std::mutex> q(queueLock);
      dataReady.wait(q,
                     [this] { return !mergeQueue.empty() || stopEvent.IsSet() || Aborting() || readerDone; });
      taken.swap(mergeQueue);
    }
    if (taken.empty()) {
      if (Aborting() || stopEvent.IsSet()) return 0;
      DebugOut("KVDown: merge ended short at " + std::to_string(mergedBytes.load()) + " of " +
               std::to_string(fileLength));
      return CURLE_READ_ERROR;
    }
    roomReady.notify_all();
    if (!started) {
      started = true;
      if (delegate) delegate->OnMergeStart();
    }
    for (const std::string& chunk : taken) {
      const size_t written = std::fwrite(chunk.data(), 1, chunk.size(), first.file);
      DebugOutW(L"KVDown: wirte " + std::to_wstring(written));
      mergedBytes += static_cast<int64_t>(written);
      if (delegate) delegate->OnMergeProgress(mergedBytes);
      if (written != chunk.size()) {
        DebugOut("KVDown: merge append short, " + std::to_string(written) + " of " +
                 std::to_string(chunk.size()));
        mergeFailed = true;
        WakeMergeWaits();
        return CURLE_WRITE_ERROR;
      }
    }
    if (mergedBytes == fileLength) return 0;
  }
}

// The last worker of a successful run: complete only when the target holds
// exactly the probed length. Called with runLock held.
void Downloader::FinishSegmented() {
  std::shared_ptr<tNode> first = NodeById(0);
  int64_t size = -1;
  if (first && first->file && std::fflush(first->file) == 0 && SeekFile64(first->file, 0, SEEK_END)) {
    size = TellFile64(first->file);
  }
  if (mergedBytes != fileLength || size != fileLength) {
    DebugOut("KVDown: target holds " + std::to_string(size) + " of " + std::to_string(fileLength));
    Fail(CURLE_WRITE_ERROR);
    return;
  }
  Cleanup();
  state = 2;
  if (delegate) delegate->OnComplete();
}

// Every range has stopped because the server did not honour a byte range:
// the range files go, and the file comes over one connection instead.
void Downloader::FinishOverOneConnection() {
  DebugOut("KVDown: byte ranges not honoured, downloading over one connection");
  std::vector<std::wstring> rangeFiles;
  {
    std::lock_guard<std::mutex> guard(progressSection);
    for (const auto& entry : nodes) {
      if (entry.first != 0) rangeFiles.push_back(entry.second->path);
    }
  }
  Cleanup();
  for (const std::wstring& file : rangeFiles) DeleteFileAt(file);
  rangeRefused = false;
  if (state != 0) return;
  mode = 0;
  if (!PrepareSingle()) {
    Fail(CURLE_WRITE_ERROR);
    return;
  }
  DebugOut("KVDown:down_type 0");
  RunSingle();
}
