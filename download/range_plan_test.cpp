#include "download/range_plan.h"

#include <gtest/gtest.h>

namespace {
constexpr RangeState kRun = RangeState::kDownloading;
constexpr RangeState kDone = RangeState::kDone;
}  // namespace

#include <cmath>
#include <limits>

TEST(RangePlan, CutsIntoRangesWithTheRemainderInTheFirst) {
  struct Case {
    const char* name;
    int64_t length;
    int count;
    std::vector<PlannedRange> expected;
  };
  const Case cases[] = {
      {"52428803 bytes, 5 ranges",
       52428803,
       5,
       {{0, 10485762, 1},
        {10485763, 20971522, 2},
        {20971523, 31457282, 3},
        {31457283, 41943042, 4},
        {41943043, 52428802, -1}}},
      {"10 MiB, 3 ranges", 10485760, 3, {{0, 3495253, 1}, {3495254, 6990506, 2}, {6990507, 10485759, -1}}},
      {"even split", 30, 3, {{0, 9, 1}, {10, 19, 2}, {20, 29, -1}}},
      {"no length", 0, 3, {}},
      {"no ranges", 100, 0, {}},
  };
  for (const Case& c : cases) {
    const std::vector<PlannedRange> plan = PlanRanges(c.length, c.count);
    ASSERT_EQ(plan.size(), c.expected.size()) << c.name;
    int64_t next = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
      EXPECT_EQ(plan[i].start, c.expected[i].start) << c.name << " range " << i;
      EXPECT_EQ(plan[i].end, c.expected[i].end) << c.name << " range " << i;
      EXPECT_EQ(plan[i].nextId, c.expected[i].nextId) << c.name << " range " << i;
      EXPECT_EQ(plan[i].start, next) << c.name << " gap or overlap before range " << i;
      next = plan[i].end + 1;
    }
    if (!plan.empty()) {
      EXPECT_EQ(next, c.length) << c.name;
    }
  }
}

TEST(RangePlan, ThreadCountIsProcessorsPlusOneAtMostEight) {
  const int cases[][2] = {{1, 2}, {2, 3}, {4, 5}, {7, 8}, {8, 8}, {64, 8}, {0, 1}};
  for (const auto& c : cases) EXPECT_EQ(SegmentedThreadCount(c[0]), c[1]) << c[0] << " processors";
}

TEST(RangePlan, SplitGivesTheNewRangeTheSecondHalf) {
  const int64_t MiB = 1024 * 1024;
  struct Case {
    const char* name;
    int64_t position, end;
    int64_t newStart;
  };
  const Case cases[] = {
      // 30 MiB left: the new range holds the last 15 MiB + 2 bytes.
      {"30 MiB left", 5 * MiB, 35 * MiB, 35 * MiB - 15 * MiB - 1},
      {"odd remainder", 100, 111, 105},
      {"three bytes left", 7, 10, 8},
  };
  for (const Case& c : cases) {
    const int64_t s = SplitStart(c.position, c.end);
    EXPECT_EQ(s, c.newStart) << c.name;
    EXPECT_GT(s, c.position) << c.name;  // the victim keeps at least its next byte
  }
  EXPECT_EQ(35 * MiB - SplitStart(5 * MiB, 35 * MiB) + 1, 15 * MiB + 2);
}

TEST(RangePlan, ChoosesTheLargestRemainingRangeOfAtLeastTenMiB) {
  const int64_t MiB = 1024 * 1024;
  struct Case {
    const char* name;
    std::vector<RangeProgress> ranges;
    int victim;
  };
  const Case cases[] = {
      {"largest wins",
       {{0, kRun, 0, 20 * MiB}, {1, kRun, 20 * MiB, 50 * MiB}, {2, kDone, 50 * MiB, 50 * MiB}},
       1},
      {"ties go to the later id", {{0, kRun, 0, 20 * MiB}, {1, kRun, 20 * MiB, 40 * MiB}}, 1},
      {"exactly 10 MiB left is split", {{0, kRun, 0, 10 * MiB}}, 0},
      {"one byte short of 10 MiB is not", {{0, kRun, 1, 10 * MiB}}, -1},
      {"finished ranges are skipped", {{0, kDone, 0, 40 * MiB}, {1, RangeState::kMerged, 0, 40 * MiB}}, -1},
      {"nothing to split", {}, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseSplitVictim(c.ranges), c.victim) << c.name;
}

TEST(RangePlan, ParsesContentRange) {
  struct Case {
    const char* value;
    bool ok;
    int64_t first, last, total;
  };
  const Case cases[] = {
      {" bytes 100-199/1000\r\n", true, 100, 199, 1000},
      {"bytes 0-0/*", true, 0, 0, -1},
      {"Bytes 5-9/10", true, 5, 9, 10},
      {"bytes 9-5/10", false, 0, 0, 0},
      {"bytes */10", false, 0, 0, 0},
      {"items 0-9/10", false, 0, 0, 0},
      {"bytes 0-9/10 junk", false, 0, 0, 0},
      {"", false, 0, 0, 0},
      // The range must lie inside the total it names.
      {"bytes 0-9/11", true, 0, 9, 11},
      {"bytes 0-9/10", true, 0, 9, 10},
      {"bytes 0-10/10", false, 0, 0, 0},
      {"bytes 5-20/10", false, 0, 0, 0},
      {"bytes 0-0/0", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    int64_t first = 0, last = 0, total = 0;
    ASSERT_EQ(ParseContentRange(c.value, first, last, total), c.ok) << "'" << c.value << "'";
    if (!c.ok) continue;
    EXPECT_EQ(first, c.first) << c.value;
    EXPECT_EQ(last, c.last) << c.value;
    EXPECT_EQ(total, c.total) << c.value;
  }
}

TEST(RangePlan, CutGivesTheVictimsTailAndChainToTheNewRange) {
  const int64_t MiB = 1024 * 1024;
  struct Case {
    const char* name;
    RangeProgress victim;
    bool cut;
    RangeSplit expected;
  };
  const Case cases[] = {
      {"middle range", {1, kRun, 5 * MiB, 35 * MiB, 0, 2}, true, {4, 35 * MiB - 15 * MiB - 1, 35 * MiB, 2}},
      {"last range keeps the chain's end",
       {3, kRun, 0, 10 * MiB, 0, -1},
       true,
       {4, 5 * MiB - 1, 10 * MiB, -1}},
      {"too little left", {1, kRun, 1, 10 * MiB, 0, 2}, false, {}},
      {"not downloading", {1, kDone, 0, 40 * MiB, 0, 2}, false, {}},
  };
  for (const Case& c : cases) {
    RangeSplit split;
    ASSERT_EQ(CutRange(c.victim, 4, &split), c.cut) << c.name;
    if (!c.cut) continue;
    EXPECT_EQ(split.newId, c.expected.newId) << c.name;
    EXPECT_EQ(split.newStart, c.expected.newStart) << c.name;
    EXPECT_EQ(split.newEnd, c.expected.newEnd) << c.name;
    EXPECT_EQ(split.newNextId, c.expected.newNextId) << c.name;
  }
}

TEST(RangePlan, ProgressSumsBytesWrittenAndSpeedsOverAllRanges) {
  struct Case {
    const char* name;
    std::vector<RangeProgress> ranges;
    double downloaded, bytesPerSecond;
  };
  const Case cases[] = {
      {"none", {}, 0, 0},
      {"written from each start",
       {{0, kRun, 40, 99, 0, 1, 10.5}, {1, kDone, 200, 199, 100, -1, 0}, {2, kRun, 150, 199, 150, -1, 2}},
       40 + 100 + 0,
       12.5},
  };
  for (const Case& c : cases) {
    const ProgressSum sum = SumProgress(c.ranges);
    EXPECT_EQ(sum.downloaded, c.downloaded) << c.name;
    EXPECT_EQ(sum.bytesPerSecond, c.bytesPerSecond) << c.name;
  }
}

TEST(RangePlan, MergeOrderFollowsTheChainFromRangeZero) {
  auto range = [](int id, int nextId) { return RangeProgress{id, kDone, 0, 0, 0, nextId, 0}; };
  struct Case {
    const char* name;
    std::vector<RangeProgress> ranges;
    std::vector<int> order;
  };
  const Case cases[] = {
      {"planned order", {range(0, 1), range(1, 2), range(2, -1)}, {1, 2}},
      // Range 1 was split: range 3 holds its tail and comes before range 2.
      {"after a split", {range(0, 1), range(1, 3), range(2, -1), range(3, 2)}, {1, 3, 2}},
      {"range 0 alone", {range(0, -1)}, {}},
      {"no range 0", {range(1, -1)}, {}},
      {"missing id ends the chain", {range(0, 1), range(1, 5)}, {1}},
      {"a loop ends the chain", {range(0, 1), range(1, 2), range(2, 1)}, {1, 2}},
  };
  for (const Case& c : cases) EXPECT_EQ(MergeChain(c.ranges), c.order) << c.name;
}

TEST(RangePlan, ProbedLengthIsWholeBytesOrUnknown) {
  struct Case {
    const char* name;
    double reported;
    int64_t length;
  };
  const Case cases[] = {
      {"no Content-Length", -1, -1},
      {"empty file", 0, 0},
      {"50 MiB and 3 bytes", 52428803.0, 52428803},
      {"largest double below 2^63", 9223372036854774784.0, 9223372036854774784},
      // Content-Length: 9223372036854775807 reaches us as the double 2^63.
      {"largest Content-Length", static_cast<double>(std::numeric_limits<int64_t>::max()), -1},
      {"infinite", std::numeric_limits<double>::infinity(), -1},
      {"not a number", std::nan(""), -1},
      {"hugely negative", -1e300, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ProbedFileLength(c.reported), c.length) << c.name;
}

TEST(RangePlan, AnsweredBodyStartsInsideTheFile) {
  struct Case {
    const char* name;
    long status;
    std::string contentRange;
    int64_t fileLength;
    int64_t start;
  };
  const Case cases[] = {
      {"whole file", 200, "", 1000, 0},
      {"whole file, range ignored", 200, " bytes 100-199/1000\r\n", 1000, 0},
      {"the range asked for", 206, " bytes 100-199/1000\r\n", 1000, 100},
      {"total unknown", 206, " bytes 100-199/*\r\n", 1000, 100},
      {"another file's total", 206, " bytes 100-199/999\r\n", 1000, -1},
      {"no Content-Range", 206, "", 1000, -1},
      {"redirect status", 302, " bytes 100-199/1000", 1000, -1},
      {"error status", 416, " bytes */1000", 1000, -1},
      {"unknown total, range past the end", 206, " bytes 1000-1999/*", 1000, -1},
      {"unknown total, range ends past the end", 206, " bytes 900-1000/*", 1000, -1},
      {"unknown total, last byte of the file", 206, " bytes 999-999/*", 1000, 999},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AnsweredBodyStart(c.status, c.contentRange, c.fileLength), c.start) << c.name;
}

TEST(RangePlan, StatusLinesAndContentRangeHeaders) {
  std::string range = "stale";
  NoteAnswerHeader("HTTP/1.1 302 Found\r\n", range);
  EXPECT_EQ(range, "");
  NoteAnswerHeader("CONTENT-RANGE: bytes 0-9/10\r\n", range);
  EXPECT_EQ(range, " bytes 0-9/10\r\n");
  NoteAnswerHeader("Content-Length: 10\r\n", range);
  EXPECT_EQ(range, " bytes 0-9/10\r\n");
  NoteAnswerHeader("http/2 206\r\n", range);
  EXPECT_EQ(range, "");
  NoteAnswerHeader("Content-Rang", range);
  EXPECT_EQ(range, "");
}
