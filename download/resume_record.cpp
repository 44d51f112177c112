#include "download/resume_record.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "download/file_ops.h"

namespace {

constexpr char kFirstLine[] = "quorvane-partial 1";
constexpr size_t kMostBytes = 4096;

// 64-bit FNV-1a, as text: enough to see a torn or edited record.
std::string Check(const std::string& text) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
  return out;
}

bool ParseCount(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 18) return false;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *value = n;
  return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A value must stay on its line.
bool OneLine(const std::string& value) { return value.find_first_of("\r\n") == std::string::npos; }

}  // namespace

std::string FormatResumeRecord(const ResumeRecord& r) {
  std::string text = std::string(kFirstLine) + "\n";
  text += "url=" + r.url + "\n";
  text += "total=" + std::to_string(r.total) + "\n";
  text += "etag=" + r.validators.etag + "\n";
  text += "last-modified=" + r.validators.lastModified + "\n";
  text += "good=" + std::to_string(r.good) + "\n";
  text += "saved=" + std::to_string(r.savedAt) + "\n";
  return text + "check=" + Check(text) + "\n";
}

bool ParseResumeRecord(const std::string& text, ResumeRecord* record) {
  const size_t checkAt = text.rfind("check=");
  if (checkAt == std::string::npos || (checkAt > 0 && text[checkAt - 1] != '\n')) return false;
  const std::string body = text.substr(0, checkAt);
  if (text.substr(checkAt) != "check=" + Check(body) + "\n") return false;
  std::vector<std::string> lines;
  for (size_t from = 0; from < body.size();) {
    const size_t end = body.find('\n', from);
    if (end == std::string::npos) return false;
    lines.push_back(body.substr(from, end - from));
    from = end + 1;
  }
  const char* names[] = {"url=", "total=", "etag=", "last-modified=", "good=", "saved="};
  if (lines.size() != 7 || lines[0] != kFirstLine) return false;
  std::string values[6];
  for (int i = 0; i < 6; ++i) {
    const std::string& line = lines[i + 1];
    const std::string name = names[i];
    if (line.compare(0, name.size(), name) != 0) return false;
    values[i] = line.substr(name.size());
  }
  ResumeRecord r;
  r.url = values[0];
  r.validators.etag = values[2];
  r.validators.lastModified = values[3];
  if (!ParseCount(values[1], &r.total) || !ParseCount(values[4], &r.good) || !ParseCount(values[5], &r.savedAt))
    return false;
  *record = r;
  return true;
}

std::string ResumeRecordProblem(const ResumeRecord& r, const std::string& path, int64_t partSize, int64_t now) {
  if (!EndsWith(r.url, path)) return "it is for another file";
  if (r.good <= 0 || r.good >= r.total) return "it holds no part to continue";
  if (partSize != r.good) return "the partial file holds " + std::to_string(partSize) + " bytes";
  if (r.savedAt > now + 60 || now - r.savedAt > kResumeRecordLifetime) return "it is older than a day";
  return std::string();
}

std::wstring PartialPathFor(const std::wstring& target) { return target + L".partial"; }
std::wstring RecordPathFor(const std::wstring& target) { return target + L".partial.txt"; }

bool SaveResumeRecord(const std::wstring& path, const ResumeRecord& record) {
  const std::string text = FormatResumeRecord(record);
  if (!OneLine(record.url) || !OneLine(record.validators.etag) || !OneLine(record.validators.lastModified))
    return false;
  const std::wstring fresh = path + L".new";
  FILE* file = OpenFileW(fresh, "wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (!CloseFileChecked(file) || !written || !ReplaceFileW(fresh, path)) {
    DeleteFileAt(fresh);
    return false;
  }
  return true;
}

bool LoadResumeRecord(const std::wstring& path, ResumeRecord* record) {
  FILE* file = OpenFileW(path, "rb");
  if (!file) return false;
  std::string text(kMostBytes + 1, '\0');
  const size_t n = std::fread(&text[0], 1, text.size(), file);
  std::fclose(file);
  if (n > kMostBytes) return false;
  text.resize(n);
  return ParseResumeRecord(text, record);
}
