#include "download/merge_queue.h"

#include <utility>

bool MergeQueue::Push(std::string chunk) {
  std::unique_lock<std::mutex> guard(queueLock);
  if (chunks.size() > limit) roomReady.wait(guard, [this] { return chunks.empty() || cancelled; });
  if (cancelled) return false;
  chunks.push_back(std::move(chunk));
  guard.unlock();
  dataReady.notify_all();
  return true;
}

void MergeQueue::Finish() {
  {
    std::lock_guard<std::mutex> guard(queueLock);
    finished = true;
  }
  dataReady.notify_all();
}

std::list<std::string> MergeQueue::TakeAll() {
  std::list<std::string> taken;
  {
    std::unique_lock<std::mutex> guard(queueLock);
    dataReady.wait(guard, [this] { return !chunks.empty() || finished || cancelled; });
    if (cancelled) return taken;
    taken.swap(chunks);
  }
  roomReady.notify_all();
  return taken;
}

void MergeQueue::Cancel() {
  {
    std::lock_guard<std::mutex> guard(queueLock);
    cancelled = true;
    chunks.clear();
  }
  dataReady.notify_all();
  roomReady.notify_all();
}

bool MergeQueue::Cancelled() const {
  std::lock_guard<std::mutex> guard(queueLock);
  return cancelled;
}

void MergeQueue::Reopen() {
  std::lock_guard<std::mutex> guard(queueLock);
  chunks.clear();
  finished = false;
  cancelled = false;
}

bool MergeQueue::HoldsChunks() const {
  std::lock_guard<std::mutex> guard(queueLock);
  return !chunks.empty();
}
