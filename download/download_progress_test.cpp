#include "download/download_progress.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ProgressThrottle, PassesTheFirstTheEndAndOnePerInterval) {
  using ms = std::chrono::milliseconds;
  struct Report {
    int at;  // milliseconds from the start
    int64_t received;
    bool passes;
  };
  struct Case {
    const char* name;
    int64_t total;
    std::vector<Report> reports;
  };
  const Case cases[] = {
      {"the first passes, the rest of its frame does not",
       1000,
       {{0, 10, true}, {1, 20, false}, {15, 30, false}, {16, 40, true}, {20, 50, false}, {40, 60, true}}},
      {"the end passes at once, and once",
       1000,
       {{0, 10, true}, {1, 1000, true}, {2, 1000, false}, {3, 1000, false}, {30, 1000, true}}},
      {"a transfer that starts again reaches the end anew",
       1000,
       {{0, 1000, true}, {1, 0, false}, {2, 1000, true}}},
      {"an unknown total has no end", 0, {{0, 0, true}, {1, 0, false}, {16, 5, true}}},
      {"a slow transfer reports every call", 100, {{0, 1, true}, {100, 2, true}, {1100, 3, true}}},
  };
  for (const Case& c : cases) {
    ProgressThrottle throttle;
    const auto start = ProgressThrottle::Clock::time_point() + std::chrono::hours(1);
    for (size_t i = 0; i < c.reports.size(); ++i) {
      const Report& r = c.reports[i];
      EXPECT_EQ(throttle.Pass(r.received, c.total, start + ms(r.at)), r.passes) << c.name << ", report " << i;
    }
  }
}
