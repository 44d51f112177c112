// The small record kept beside a partial download between runs, so that the
// next run asks only for the rest. Text lines "name=value", ending with a
// check line over all lines before it; a record that does not parse, whose
// check fails, that is older than a day or does not fit its partial file is
// not used.
#pragma once
#include <cstdint>
#include <string>

#include "download/single_stream.h"

struct ResumeRecord {
  std::string url;            // the URL (domain and path) the part came from
  int64_t total = 0;          // the whole file's length as that answer announced it
  FileValidators validators;  // of that answer, when it gave them
  int64_t good = 0;           // bytes known good at the start of the partial file
  int64_t savedAt = 0;        // seconds since 1970 (UTC)
};

// Seconds a record stays usable.
constexpr int64_t kResumeRecordLifetime = 24 * 60 * 60;

std::string FormatResumeRecord(const ResumeRecord& record);
// False when the text is not a whole, unchanged record.
bool ParseResumeRecord(const std::string& text, ResumeRecord* record);
// Why a parsed record cannot be continued now, or "" when it can: `path` is
// the download path of this run, `partSize` the partial file's size (-1 when
// missing), `now` seconds since 1970.
std::string ResumeRecordProblem(const ResumeRecord& record, const std::string& path, int64_t partSize,
                                int64_t now);

// Beside the target: the partial file and its record.
std::wstring PartialPathFor(const std::wstring& target);
std::wstring RecordPathFor(const std::wstring& target);

// Whole-file reads and writes of a record; Save writes a new file and
// replaces the old one only once it is complete.
bool SaveResumeRecord(const std::wstring& path, const ResumeRecord& record);
bool LoadResumeRecord(const std::wstring& path, ResumeRecord* record);
