// Byte-range bookkeeping of the segmented downloader: the plan, the choice
// and cut of a split, the progress sum and the merge order. Free of sockets,
// files and threads; the downloader hands in snapshots of its ranges.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Files below this size go over one connection; the same size is the
// smallest remaining part of a range that is worth splitting.
constexpr int64_t kSegmentedMinimum = 10 * 1024 * 1024;

struct PlannedRange {
  int64_t start = 0;
  int64_t end = 0;  // inclusive
  int nextId = -1;  // id of the range holding the following bytes, -1 for the last
};

// Cuts `length` bytes into `count` ranges; the first takes the remainder.
// Empty when length or count is not positive.
std::vector<PlannedRange> PlanRanges(int64_t length, int count);

// Thread count of segmented mode for a machine with `processors` processors.
int SegmentedThreadCount(int processors);

// Life of one range: made, downloading, all bytes written, and (every range
// but range 0, which is the target itself) read back into the target.
enum class RangeState { kNew = 0, kDownloading = 1, kDone = 2, kMerged = 3 };

// A snapshot of one range.
struct RangeProgress {
  int id = 0;
  RangeState state = RangeState::kNew;
  int64_t position = 0;  // next byte to write
  int64_t end = 0;       // inclusive
  int64_t start = 0;
  int nextId = -1;
  double bytesPerSecond = 0;
};

// The range to split: among downloading ranges, the one with the largest
// remaining part (end - position) of at least kSegmentedMinimum; on equal parts
// the later id wins. -1 when there is none.
int ChooseSplitVictim(const std::vector<RangeProgress>& ranges);

// First byte of the new range cut from a range at `position` .. `end`: the
// new range runs from there to `end`; the old one ends one byte before it.
// Greater than `position` whenever end - position >= 3.
int64_t SplitStart(int64_t position, int64_t end);

// The cut of one split: the victim keeps start .. newStart - 1 and points at
// the new range, which takes newStart .. newEnd and the victim's old nextId.
struct RangeSplit {
  int newId = -1;
  int64_t newStart = 0;
  int64_t newEnd = 0;
  int newNextId = -1;
};
// The split of `victim` into a new range `newId`; false when the victim is
// not downloading or has less than kSegmentedMinimum left.
bool CutRange(const RangeProgress& victim, int newId, RangeSplit* split);

// What the progress report shows: bytes written over all ranges and the sum
// of their speeds.
struct ProgressSum {
  double downloaded = 0;
  double bytesPerSecond = 0;
};
ProgressSum SumProgress(const std::vector<RangeProgress>& ranges);

// The ids whose files are appended to range 0, in byte order: range 0's
// nextId chain. Stops at an id that is missing or already listed; empty when
// there is no range 0.
std::vector<int> MergeChain(const std::vector<RangeProgress>& ranges);

// Parses a Content-Range value such as "bytes 100-199/1000". `total` is -1
// for "*". False when the value is not of that form, or when the range does
// not lie inside the total.
bool ParseContentRange(const std::string& value, int64_t& first, int64_t& last, int64_t& total);

// One header line of a ranged answer, as libcurl hands it over: a status
// line ("HTTP/...") starts a new response (after a redirect or a 100) and
// clears `contentRange`; a "Content-Range:" line (any case) sets it to the
// rest of the line as it stands; other lines leave it alone.
void NoteAnswerHeader(const std::string& line, std::string& contentRange);

// Where in the file the body of an answer to a ranged request begins: 0 for
// status 200 (the whole file), the first byte of a 206 whose Content-Range
// parses, names `fileLength` (or "*") as the total and lies inside the file;
// -1 otherwise.
int64_t AnsweredBodyStart(long status, const std::string& contentRange, int64_t fileLength);

// The file's length from the length probe's report: its whole bytes, or -1
// (unknown) for a negative report, NaN, or one beyond what int64_t holds.
int64_t ProbedFileLength(double reported);
