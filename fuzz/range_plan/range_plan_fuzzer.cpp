// libFuzzer target: the segmented downloader's byte-range bookkeeping fed
// with fuzzed answers and sizes. Input: a selector byte, then
//   0: the length probe's report, status and file length, then header lines
//      of the answer to a ranged request;
//   1: a Content-Range value on its own;
//   2: a file length, a range count and a sequence of progress and split
//      steps over the planned ranges.
//
// Properties:
// - a parsed Content-Range is ordered and lies inside its total;
// - an accepted answer's body starts inside the file (0 for a 200);
// - the probed length is the report's whole bytes, never negative junk;
// - the plan covers the file exactly, in order, the first range taking the
//   remainder; every split keeps the ranges covering the file without gap or
//   overlap, and only a downloading range with at least kSegmentedMinimum
//   bytes left, the largest one, is split.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "download/range_plan.h"
#include "fuzz/common/fuzz_support.h"

namespace {

void CheckContentRange(const std::string& value) {
  int64_t first = -7, last = -7, total = -7;
  if (!ParseContentRange(value, first, last, total)) return;
  FUZZ_CHECK(0 <= first && first <= last);
  FUZZ_CHECK(total == -1 || (total >= 0 && last < total));
}

void Answer(fuzz::Reader& in) {
  const double reported = in.Bool() ? in.Double() : static_cast<double>(in.Int64());
  const int64_t probed = ProbedFileLength(reported);
  if (reported >= 0 && reported < 9.2e18) FUZZ_CHECK(probed == static_cast<int64_t>(reported));
  if (!(reported >= 0)) FUZZ_CHECK(probed == -1);
  FUZZ_CHECK(probed >= -1);

  const long status = static_cast<long>(in.Bits(2) % 1000);
  const int64_t fileLength = static_cast<int64_t>(in.Bits(8) >> (1 + in.Byte() % 63));
  std::string contentRange;
  while (!in.Empty()) {
    const std::string line = in.Line();
    NoteAnswerHeader(line, contentRange);
    CheckContentRange(contentRange);
  }
  const int64_t start = AnsweredBodyStart(status, contentRange, fileLength);
  if (status == 200) FUZZ_CHECK(start == 0);
  if (status != 200 && status != 206) FUZZ_CHECK(start == -1);
  // The downloader asks only for files of at least one byte.
  if (status == 206 && start >= 0 && fileLength > 0) FUZZ_CHECK(start < fileLength);
}

struct Range {
  int id;
  int state;  // 1 downloading, 2 done
  int64_t start, position, end;
};

void PlanAndSplit(fuzz::Reader& in) {
  const int64_t length = static_cast<int64_t>(in.Bits(8) >> (in.Byte() % 64));
  const int count = static_cast<int>(static_cast<int8_t>(in.Byte()));
  const std::vector<PlannedRange> plan = PlanRanges(length, count);
  if (length <= 0 || count <= 0) {
    FUZZ_CHECK(plan.empty());
    return;
  }
  FUZZ_CHECK(plan.size() == static_cast<size_t>(count));
  FUZZ_CHECK(plan[0].start == 0 && plan.back().end == length - 1 && plan.back().nextId == -1);
  const int64_t per = length / count;
  for (size_t j = 0; j < plan.size(); ++j) {
    if (j > 0) FUZZ_CHECK(plan[j].start == plan[j - 1].end + 1);
    if (j + 1 < plan.size()) FUZZ_CHECK(plan[j].nextId == static_cast<int>(j + 1));
    // Every range but the first holds `per` bytes; the first the rest too.
    FUZZ_CHECK(plan[j].end - plan[j].start + 1 == (j == 0 ? length - (count - 1) * per : per));
  }
  FUZZ_CHECK(SegmentedThreadCount(count) >= 1 && SegmentedThreadCount(count) <= 8);

  // The downloader's split scan over ranges that make progress.
  std::vector<Range> ranges;
  for (size_t j = 0; j < plan.size(); ++j)
    ranges.push_back({static_cast<int>(j), 1, plan[j].start, plan[j].start, plan[j].end});
  for (int step = 0; step < 64 && !in.Empty(); ++step) {
    const uint8_t op = in.Byte();
    if (op & 1) {  // a range makes progress (possibly finishing)
      Range& r = ranges[in.Byte() % ranges.size()];
      if (r.state != 1) continue;
      const int64_t left = r.end + 1 - r.position;
      const int64_t advance = static_cast<int64_t>(in.Bits(8) % (static_cast<uint64_t>(left) + 1));
      r.position += advance;
      if (r.position == r.end + 1) r.state = 2;
      continue;
    }
    std::vector<RangeProgress> progress;
    int64_t largest = -1;
    for (const Range& r : ranges) {
      RangeProgress p;
      p.id = r.id;
      p.state = r.state == 1 ? RangeState::kDownloading : RangeState::kDone;
      p.position = r.position;
      p.end = r.end;
      p.start = r.start;
      progress.push_back(p);
      if (r.state == 1) largest = std::max(largest, r.end - r.position);
    }
    const int victim = ChooseSplitVictim(progress);
    if (largest < kSegmentedMinimum) {
      FUZZ_CHECK(victim == -1);
      continue;
    }
    FUZZ_CHECK(victim >= 0 && static_cast<size_t>(victim) < ranges.size());
    Range& v = ranges[victim];
    FUZZ_CHECK(v.state == 1 && v.end - v.position == largest);
    const int64_t newStart = SplitStart(v.position, v.end);
    FUZZ_CHECK(v.position < newStart && newStart <= v.end);
    const int64_t oldEnd = v.end;
    v.end = newStart - 1;
    ranges.push_back({static_cast<int>(ranges.size()), 1, newStart, newStart, oldEnd});
    // Still a cover of the file: sorted by where they start, each range runs
    // on from the one before.
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const Range& r : ranges) spans.push_back({r.start, r.end});
    std::sort(spans.begin(), spans.end());
    FUZZ_CHECK(spans.front().first == 0 && spans.back().second == length - 1);
    for (size_t k = 1; k < spans.size(); ++k) FUZZ_CHECK(spans[k].first == spans[k - 1].second + 1);
    if (ranges.size() > 200) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  switch (in.Byte() % 3) {
    case 0:
      Answer(in);
      break;
    case 1:
      CheckContentRange(in.Rest());
      break;
    default:
      PlanAndSplit(in);
      break;
  }
  return 0;
}
