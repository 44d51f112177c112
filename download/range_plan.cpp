#include "download/range_plan.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

std::vector<PlannedRange> PlanRanges(int64_t length, int count) {
  std::vector<PlannedRange> ranges;
  if (length <= 0 || count <= 0) return ranges;
  const int64_t per = length / count;
  const int64_t rest = length % count;
  for (int j = 0; j < count; ++j) {
    PlannedRange r;
    r.start = j == 0 ? 0 : j * per + rest;
    r.end = (j + 1) * per + rest - 1;
    r.nextId = j + 1 < count ? j + 1 : -1;
    ranges.push_back(r);
  }
  return ranges;
}

int SegmentedThreadCount(int processors) { return std::max(1, std::min(processors + 1, 8)); }

int ChooseSplitVictim(const std::vector<RangeProgress>& ranges) {
  int victim = -1;
  int64_t best = -1;
  for (const RangeProgress& r : ranges) {
    if (r.state != RangeState::kDownloading) continue;
    const int64_t remaining = r.end - r.position;
    if (remaining >= kSegmentedMinimum && remaining >= best) {
      best = remaining;
      victim = r.id;
    }
  }
  return victim;
}

int64_t SplitStart(int64_t position, int64_t end) {
  const int64_t half = (end - position) / 2;
  return end - half - 1;
}

bool CutRange(const RangeProgress& victim, int newId, RangeSplit* split) {
  if (victim.state != RangeState::kDownloading || victim.end - victim.position < kSegmentedMinimum)
    return false;
  split->newId = newId;
  split->newStart = SplitStart(victim.position, victim.end);
  split->newEnd = victim.end;
  split->newNextId = victim.nextId;
  return true;
}

ProgressSum SumProgress(const std::vector<RangeProgress>& ranges) {
  ProgressSum sum;
  for (const RangeProgress& r : ranges) {
    sum.downloaded += static_cast<double>(r.position - r.start);
    sum.bytesPerSecond += r.bytesPerSecond;
  }
  return sum;
}

std::vector<int> MergeChain(const std::vector<RangeProgress>& ranges) {
  std::map<int, int> next;
  for (const RangeProgress& r : ranges) next[r.id] = r.nextId;
  std::vector<int> chain;
  auto first = next.find(0);
  if (first == next.end()) return chain;
  std::set<int> seen{0};
  for (int id = first->second; id != -1 && next.count(id) && seen.insert(id).second; id = next[id]) {
    chain.push_back(id);
  }
  return chain;
}

namespace {
bool ParseNumber(const std::string& text, size_t& at, int64_t& value) {
  const size_t begin = at;
  value = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    if (value > (INT64_MAX - 9) / 10) return false;
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  return at > begin;
}
}  // namespace

bool ParseContentRange(const std::string& value, int64_t& first, int64_t& last, int64_t& total) {
  size_t at = 0;
  while (at < value.size() && value[at] == ' ') ++at;
  static const char kUnit[] = "bytes";
  for (const char* u = kUnit; *u; ++u, ++at) {
    if (at >= value.size() || std::tolower(static_cast<unsigned char>(value[at])) != *u) return false;
  }
  if (at >= value.size() || (value[at] != ' ' && value[at] != '=')) return false;
  while (at < value.size() && (value[at] == ' ' || value[at] == '=')) ++at;
  if (!ParseNumber(value, at, first)) return false;
  if (at >= value.size() || value[at] != '-') return false;
  ++at;
  if (!ParseNumber(value, at, last)) return false;
  if (at >= value.size() || value[at] != '/') return false;
  ++at;
  if (at < value.size() && value[at] == '*') {
    total = -1;
    ++at;
  } else if (!ParseNumber(value, at, total)) {
    return false;
  }
  while (at < value.size() && (value[at] == ' ' || value[at] == '\r' || value[at] == '\n')) ++at;
  // A range that does not lie inside its own total is malformed.
  return at == value.size() && first <= last && (total < 0 || last < total);
}

namespace {
bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}
}  // namespace

void NoteAnswerHeader(const std::string& line, std::string& contentRange) {
  if (StartsWithNoCase(line, "http/")) {
    contentRange.clear();
  } else if (StartsWithNoCase(line, "content-range:")) {
    contentRange = line.substr(14);
  }
}

int64_t AnsweredBodyStart(long status, const std::string& contentRange, int64_t fileLength) {
  if (status == 200) return 0;
  if (status != 206) return -1;
  int64_t first = 0, last = 0, total = 0;
  if (!ParseContentRange(contentRange, first, last, total)) return -1;
  // With the total unknown ("*") the range itself must still fit the file.
  if ((total < 0 || total == fileLength) && last < fileLength) return first;
  return -1;
}

int64_t ProbedFileLength(double reported) {
  // libcurl's 64-bit length arrives as a double; its largest values round up
  // to 2^63, which no int64_t holds (converting it would be undefined).
  const double kLimit = 9223372036854775808.0;  // 2^63
  if (!(reported >= 0 && reported < kLimit)) return -1;
  return static_cast<int64_t>(reported);
}
