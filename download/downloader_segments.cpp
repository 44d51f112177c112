// Downloader: segmented mode. One worker per range; a finishing worker splits
// the largest remaining range or, when only range 0's thread is left, starts
// the read-back (downloader_merge.cpp). The last worker out ends the run.
#include <curl/curl.h>

#include <cstdio>

#include "base/debug_output.h"
#include "download/downloader.h"
#include "download/file_ops.h"

void Downloader::Worker(int id) {
  std::shared_ptr<tNode> node = NodeById(id);
  DownloadError failure;
  try {
    if (node && state == RunState::kRunning && node->state == RangeState::kDownloading) {
      const int result = RunAttempts(*node, true);
      if (node->answerError) {
        failure = node->answerError;
      } else if (node->Complete()) {
        node->state = RangeState::kDone;
      } else if (!Aborting()) {
        failure = AttemptFailure(*node, result);
      }
    }
    if (node) node->speed = 0;
    if (!failure && node && node->state == RangeState::kDone) {
      std::fflush(node->file.get());
      if (id != 0) {
        SeekFile64(node->file.get(), 0, SEEK_SET);  // to be read back
      } else {
        failure = MergeWriter(*node);
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
  std::unique_lock<std::mutex> run(runLock);
  --runningWorkers;
  if (state != RunState::kRunning) return;
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
    Fail(DownloadError::Transfer(CURLE_OUT_OF_MEMORY));
  }
}

// Called with runLock and splitLock held.
bool Downloader::SplitLargest() {
  const std::vector<RangeProgress> view = Ranges();
  const int v = ChooseSplitVictim(view);
  if (v < 0) return false;
  std::shared_ptr<tNode> victim = NodeById(v);
  if (!victim) return false;
  const int m = static_cast<int>(view.size());
  std::shared_ptr<tNode> added;
  {
    // Holding the victim's lock keeps its writer from moving `position` past
    // the new end while the end is lowered.
    std::lock_guard<std::mutex> guard(victim->lock);
    RangeSplit cut;
    const RangeProgress now{v,
                            victim->state.load(),
                            victim->position.load(),
                            victim->end.load(),
                            victim->start,
                            victim->nextId.load(),
                            0};
    if (!CutRange(now, m, &cut)) return false;
    added = NewNode(cut.newStart, cut.newEnd, cut.newNextId, path + std::to_wstring(m));
    if (!added->file || !added->handle) {
      ReleaseNode(*added);
      return false;
    }
    SetTransferOptions(*added, true);
    std::lock_guard<std::mutex> progress(progressSection);
    nodes[m] = added;
    victim->end = cut.newStart - 1;
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
    Fail(DownloadError::Transfer(CURLE_OUT_OF_MEMORY));
  }
  return true;
}

// The last worker of a successful run: complete only when the target holds
// exactly the probed length. Called with runLock held.
void Downloader::FinishSegmented() {
  std::shared_ptr<tNode> first = NodeById(0);
  int64_t size = -1;
  if (first && first->file && std::fflush(first->file.get()) == 0 &&
      SeekFile64(first->file.get(), 0, SEEK_END)) {
    size = TellFile64(first->file.get());
  }
  if (mergedBytes != fileLength || size != fileLength) {
    DebugOut("KVDown: target holds " + std::to_string(size) + " of " + std::to_string(fileLength));
    Fail(DownloadError::Transfer(CURLE_WRITE_ERROR));
    return;
  }
  if (const DownloadError failure = CloseAndMeasure(*first)) {
    Fail(failure);
    return;
  }
  Cleanup();
  state = RunState::kIdle;
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
  if (state != RunState::kRunning) return;
  mode = Mode::kSingle;
  if (!PrepareSingle()) {
    Fail(DownloadError::Transfer(CURLE_WRITE_ERROR));
    return;
  }
  DebugOut("KVDown:down_type 0");
  RunSingle();
}
