#include "ui/path_pattern.h"

#include <cwctype>

#include "base/text_convert.h"

namespace {

// Everything of the pattern after the letter class.
const wchar_t kPatternTail[] = LR"re(]:(\\|/){1}[^\\/:*?"<>|]+((\\|/){1}[^\\/:*?"<>|]+)*(\\|/)?)re";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A character of a folder name: anything but \ / : * ? " < > |.
bool IsNameChar(wchar_t c) {
  switch (c) {
    case L'\\': case L'/': case L':': case L'*': case L'?': case L'"': case L'<': case L'>': case L'|':
      return false;
    default:
      return true;
  }
}

}  // namespace

std::wstring BuildPathPattern(const std::vector<LogicalDrive>& drives) {
  std::wstring upper, lower;
  for (const LogicalDrive& d : drives) {
    if (upper.size() >= 26) break;
    if (d.kind != DriveKind::Removable && d.kind != DriveKind::Fixed && d.kind != DriveKind::Remote) continue;
    upper += static_cast<wchar_t>(std::towupper(d.letter));
    lower += static_cast<wchar_t>(std::towlower(d.letter));
  }
  return L"[" + upper + lower + kPatternTail;
}

std::wstring TrimSpaces(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(L' ');
  return text.substr(first, last - first + 1);
}

FolderPattern::FolderPattern(const std::wstring& pattern) : pattern_(pattern) {
  // "[" letters kPatternTail, the letters being plain characters of the class
  // (no range, negation, escape or nested bracket); anything else is not
  // understood and accepts nothing.
  const std::wstring tail = kPatternTail;
  if (pattern.size() < 1 + tail.size() || pattern[0] != L'[' ||
      pattern.compare(pattern.size() - tail.size(), tail.size(), tail) != 0)
    return;
  const std::wstring letters = pattern.substr(1, pattern.size() - 1 - tail.size());
  if (letters.find_first_of(L"[]\\^-") != std::wstring::npos) return;
  letters_ = letters;
  understood_ = true;
}

bool FolderPattern::Matches(const std::wstring& folder) const {
  if (!understood_ || folder.size() > kMaxMatchedFolderLength) return false;
  // A drive letter, a colon and a separator...
  if (folder.size() < 4 || letters_.find(folder[0]) == std::wstring::npos || folder[1] != L':' ||
      !IsSeparator(folder[2]))
    return false;
  // ...then names of at least one character, one separator between two, and
  // at most one separator at the end.
  bool inName = false;
  for (size_t i = 3; i < folder.size(); ++i) {
    const wchar_t c = folder[i];
    if (IsSeparator(c)) {
      if (!inName) return false;
      inName = false;
    } else if (IsNameChar(c)) {
      inName = true;
    } else {
      return false;
    }
  }
  return true;  // ends in a name, or in a separator after one
}

bool FolderUsable(const FolderPattern& pattern, const std::wstring& folder) {
  return pattern.Matches(folder) && AnsiLossless(folder);
}

std::wstring ComposeBrowsedFolder(const std::wstring& picked) {
  std::wstring folder = picked;
  const bool endsWithSeparator = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
  if (folder.size() > 3 && !endsWithSeparator) folder += L"\\";
  return folder + L"Quorvane";
}
