#include "download/range_merge.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <thread>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "download/file_ops.h"

void ReadBackRanges(const RangeTable& ranges, const std::vector<int>& chain, size_t chunkSize,
                    MergeQueue& queue) {
  try {
    std::vector<char> buffer(chunkSize);
    for (const int id : chain) {
      std::shared_ptr<RangeTransfer> range = ranges.Find(id);
      if (!range) break;
      DebugOutW(L"KVDown: rebuild " + DecimalWide(id) + L":" + DecimalWide(range->start) + L"--" +
                DecimalWide(range->end.load()) + L",file is  " + range->path);
      auto markMerged = [&range] {
        range->state = RangeState::kMerged;
        range->file.reset();
        DeleteFileAt(range->path);
      };
      bool gaveBytes = false;
      while (range->state != RangeState::kMerged && !queue.Cancelled()) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), range->file.get());
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
            if (!queue.HoldsChunks() || queue.Cancelled()) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }
        if (!queue.Push(std::move(chunk))) break;
        range->mergeOffset += static_cast<int64_t>(n);
        if (n < buffer.size()) markMerged();
      }
      if (queue.Cancelled()) break;
    }
  } catch (const std::exception& e) {
    DebugOut(std::string("KVDown: read back stopped: ") + e.what());
  }
  // Whatever was queued is all there will be: the merge writer stops waiting.
  queue.Finish();
}

DownloadError AppendMerged(RangeTransfer& target, RangeRun& run, MergeQueue& queue, DownloadDelegate* delegate) {
  bool started = false;
  SeekFile64(target.file.get(), target.end + 1, SEEK_SET);
  for (;;) {
    const std::list<std::string> taken = queue.TakeAll();
    if (taken.empty()) {
      if (queue.Cancelled()) return DownloadError();
      DebugOut("KVDown: merge ended short at " + std::to_string(run.mergedBytes.load()) + " of " +
               std::to_string(run.FileLength()));
      return DownloadError::Transfer(CURLE_READ_ERROR);
    }
    if (!started) {
      started = true;
      if (delegate) delegate->OnMergeStart();
    }
    for (const std::string& chunk : taken) {
      const size_t written = std::fwrite(chunk.data(), 1, chunk.size(), target.file.get());
      DebugOutW(L"KVDown: wirte " + DecimalWide(written));
      run.mergedBytes += static_cast<int64_t>(written);
      if (delegate) delegate->OnMergeProgress(run.mergedBytes);
      if (written != chunk.size()) {
        DebugOut("KVDown: merge append short, " + std::to_string(written) + " of " +
                 std::to_string(chunk.size()));
        queue.Cancel();
        return DownloadError::Transfer(CURLE_WRITE_ERROR);
      }
    }
    if (run.mergedBytes == run.FileLength()) return DownloadError();
  }
}
