// Byte-range bookkeeping of the segmented downloader, free of sockets and
// threads so that it can be checked on its own.
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

// A range still being downloaded, as the split scan sees it.
struct RangeProgress {
  int id = 0;
  int state = 0;  // 1 downloading, 2 done, 3 merged
  int64_t position = 0;
  int64_t end = 0;
};

// The range to split: among downloading ranges, the one with the largest
// remaining part (end - position) of at least kSegmentedMinimum; on equal parts
// the later id wins. -1 when there is none.
int ChooseSplitVictim(const std::vector<RangeProgress>& ranges);

// First byte of the new range cut from a range at `position` .. `end`: the
// new range runs from there to `end`; the old one ends one byte before it.
// Greater than `position` whenever end - position >= 3.
int64_t SplitStart(int64_t position, int64_t end);

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
