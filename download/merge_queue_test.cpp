#include "download/merge_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {
using namespace std::chrono_literals;

// Polls until `done` holds; bounded only to turn a hang into a failure.
template <typename F>
bool Eventually(F done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return done();
}

// Cancels the queue and joins the thread however the test ends, so that a
// failed expectation cannot leave a thread waiting.
struct CancelAndJoin {
  MergeQueue& queue;
  std::thread& thread;
  ~CancelAndJoin() {
    queue.Cancel();
    if (thread.joinable()) thread.join();
  }
};

std::vector<std::string> TakeUntilEmpty(MergeQueue& queue) {
  std::vector<std::string> got;
  for (;;) {
    const std::list<std::string> taken = queue.TakeAll();
    if (taken.empty()) return got;
    got.insert(got.end(), taken.begin(), taken.end());
  }
}
}  // namespace

TEST(MergeQueue, HandsOverEveryChunkInOrderThenEnds) {
  for (const size_t limit : {size_t{0}, size_t{3}, MergeQueue::kDefaultLimit}) {
    SCOPED_TRACE(limit);
    MergeQueue queue(limit);
    constexpr int kChunks = 500;
    std::thread pusher([&] {
      for (int i = 0; i < kChunks; ++i) ASSERT_TRUE(queue.Push(std::to_string(i)));
      queue.Finish();
    });
    const std::vector<std::string> got = TakeUntilEmpty(queue);
    pusher.join();
    ASSERT_EQ(got.size(), static_cast<size_t>(kChunks));
    for (int i = 0; i < kChunks; ++i) ASSERT_EQ(got[i], std::to_string(i)) << "chunk " << i;
    EXPECT_FALSE(queue.Cancelled());
  }
}

TEST(MergeQueue, APusherPastTheLimitWaitsUntilTheQueueIsEmpty) {
  MergeQueue queue(3);
  std::atomic<int> pushed{0};
  std::thread pusher([&] {
    for (int i = 0; i < 10; ++i) {
      if (!queue.Push(std::to_string(i))) return;
      ++pushed;
    }
  });
  CancelAndJoin end{queue, pusher};
  // Four chunks go in (the fourth finds three, not more than the limit); the
  // fifth finds four and waits.
  ASSERT_TRUE(Eventually([&] { return pushed == 4; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(pushed, 4) << "the pusher went past the limit";
  EXPECT_EQ(queue.TakeAll(), (std::list<std::string>{"0", "1", "2", "3"}));
  ASSERT_TRUE(Eventually([&] { return pushed == 8; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(pushed, 8);
  EXPECT_EQ(queue.TakeAll(), (std::list<std::string>{"4", "5", "6", "7"}));
  ASSERT_TRUE(Eventually([&] { return pushed == 10; }));
  EXPECT_EQ(queue.TakeAll(), (std::list<std::string>{"8", "9"}));
}

TEST(MergeQueue, CancelReleasesBothWaitsAndHoldsUntilReopened) {
  MergeQueue queue(1);
  // A taker waiting on an empty queue.
  auto taker = std::async(std::launch::async, [&] { return queue.TakeAll(); });
  EXPECT_EQ(taker.wait_for(100ms), std::future_status::timeout) << "the taker did not wait";
  queue.Cancel();
  EXPECT_TRUE(taker.get().empty());
  queue.Reopen();

  // A pusher waiting for room.
  ASSERT_TRUE(queue.Push("a"));
  ASSERT_TRUE(queue.Push("b"));
  auto pusher = std::async(std::launch::async, [&] { return queue.Push("c"); });
  EXPECT_EQ(pusher.wait_for(100ms), std::future_status::timeout) << "the pusher did not wait for room";
  queue.Cancel();
  EXPECT_FALSE(pusher.get()) << "a cancelled queue took the chunk";
  EXPECT_TRUE(queue.Cancelled());
  EXPECT_FALSE(queue.HoldsChunks()) << "queued chunks stay after a cancel";
  EXPECT_FALSE(queue.Push("d"));
  EXPECT_TRUE(queue.TakeAll().empty());

  queue.Reopen();
  EXPECT_FALSE(queue.Cancelled());
  EXPECT_TRUE(queue.Push("e"));
  queue.Finish();
  EXPECT_EQ(TakeUntilEmpty(queue), (std::vector<std::string>{"e"}));
}
