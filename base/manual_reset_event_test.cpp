#include "base/manual_reset_event.h"

#include <gtest/gtest.h>

#include <thread>

TEST(ManualResetEvent, StaysSetUntilResetAndReleasesWaiters) {
  ManualResetEvent e;
  EXPECT_FALSE(e.WaitFor(std::chrono::milliseconds(1)));
  std::thread t([&] { e.Set(); });
  e.Wait();
  t.join();
  EXPECT_TRUE(e.WaitFor(std::chrono::milliseconds(0)));
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.IsSet());
}
