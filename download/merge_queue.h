// The bounded queue between the read-back of the range files and the append
// to the target: one thread pushes chunks in byte order, another takes them.
// Its lock and both waits are its own; nothing else is held while it waits.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>

class MergeQueue {
 public:
  // A pusher that finds more than `limit` chunks queued waits until the queue
  // is empty, so that at most about limit + 1 chunks are held in memory.
  explicit MergeQueue(size_t limit = kDefaultLimit) : limit(limit) {}
  MergeQueue(const MergeQueue&) = delete;
  MergeQueue& operator=(const MergeQueue&) = delete;

  static constexpr size_t kDefaultLimit = 40;

  // Queues `chunk` behind the others, after waiting for room. False, with
  // nothing queued, once the queue is cancelled.
  bool Push(std::string chunk);
  // The pusher has queued all it will queue: a taker that finds the queue
  // empty returns at once.
  void Finish();
  // Waits until a chunk is queued, the pusher has finished or the queue is
  // cancelled, and takes every queued chunk in order. Empty when there is
  // nothing more to take (finished, or cancelled).
  std::list<std::string> TakeAll();
  // Ends every wait, now and until Reopen: pushes fail, takes return empty.
  // Queued chunks are dropped.
  void Cancel();
  bool Cancelled() const;
  // Empty, neither finished nor cancelled: ready for the next run.
  void Reopen();
  // Whether a chunk is queued (a pusher short of memory waits for the taker
  // to free some only while one is).
  bool HoldsChunks() const;

 private:
  const size_t limit;
  mutable std::mutex queueLock;
  std::condition_variable dataReady;  // a chunk queued, finished or cancelled
  std::condition_variable roomReady;  // the queue emptied, or cancelled
  std::list<std::string> chunks;      // guarded by queueLock, as are the flags
  bool finished = false;
  bool cancelled = false;
};
