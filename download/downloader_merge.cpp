// Downloader: the end of segmented mode. Once every range but range 0 is
// done, one finishing worker reads the range files back in byte order into a
// bounded queue, and range 0's thread appends the queued chunks to the target.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <new>

#include "base/debug_output.h"
#include "download/downloader.h"
#include "download/file_ops.h"

namespace {
constexpr size_t kQueueLimit = 40;
}  // namespace

// Reads the range files back in chain order into the merge queue. Called with
// runLock and splitLock held, when every range but range 0 is done, so no
// split changes the chain meanwhile.
void Downloader::Reader() {
  try {
    std::vector<char> buffer(static_cast<size_t>(readChunk));
    for (const int id : MergeChain(Ranges())) {
      std::shared_ptr<tNode> node = NodeById(id);
      if (!node) break;
      DebugOutW(L"KVDown: rebuild " + std::to_wstring(id) + L":" + std::to_wstring(node->start) + L"--" +
                std::to_wstring(node->end.load()) + L",file is  " + node->path);
      auto markMerged = [&node] {
        node->state = RangeState::kMerged;
        node->file.reset();
        DeleteFileAt(node->path);
      };
      bool gaveBytes = false;
      while (node->state != RangeState::kMerged && !Aborting() && !mergeFailed) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), node->file.get());
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
// the target. None when the target holds the whole file or the run was
// stopped; otherwise the error to report.
DownloadError Downloader::MergeWriter(tNode& first) {
  bool started = false;
  SeekFile64(first.file.get(), first.end + 1, SEEK_SET);
  for (;;) {
    std::list<std::string> taken;
    {
      std::unique_lock<std::mutex> q(queueLock);
      dataReady.wait(q,
                     [this] { return !mergeQueue.empty() || stopEvent.IsSet() || Aborting() || readerDone; });
      taken.swap(mergeQueue);
    }
    if (taken.empty()) {
      if (Aborting() || stopEvent.IsSet()) return DownloadError();
      DebugOut("KVDown: merge ended short at " + std::to_string(mergedBytes.load()) + " of " +
               std::to_string(fileLength));
      return DownloadError::Transfer(CURLE_READ_ERROR);
    }
    roomReady.notify_all();
    if (!started) {
      started = true;
      if (delegate) delegate->OnMergeStart();
    }
    for (const std::string& chunk : taken) {
      const size_t written = std::fwrite(chunk.data(), 1, chunk.size(), first.file.get());
      DebugOutW(L"KVDown: wirte " + std::to_wstring(written));
      mergedBytes += static_cast<int64_t>(written);
      if (delegate) delegate->OnMergeProgress(mergedBytes);
      if (written != chunk.size()) {
        DebugOut("KVDown: merge append short, " + std::to_string(written) + " of " +
                 std::to_string(chunk.size()));
        mergeFailed = true;
        WakeMergeWaits();
        return DownloadError::Transfer(CURLE_WRITE_ERROR);
      }
    }
    if (mergedBytes == fileLength) return DownloadError();
  }
}
