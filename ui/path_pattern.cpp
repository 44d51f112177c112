#include "ui/path_pattern.h"

#include <cwctype>

std::wstring BuildPathPattern(const std::vector<LogicalDrive>& drives) {
  std::wstring upper, lower;
  for (const LogicalDrive& d : drives) {
    if (upper.size() >= 26) break;
    if (d.kind != DriveKind::Removable && d.kind != DriveKind::Fixed && d.kind != DriveKind::Remote) continue;
    upper += static_cast<wchar_t>(std::towupper(d.letter));
    lower += static_cast<wchar_t>(std::towlower(d.letter));
  }
  return L"[" + upper + lower + LR"re(]:(\\|/){1}[^\\/:*?"<>|]+((\\|/){1}[^\\/:*?"<>|]+)*(\\|/)?)re";
}

std::wstring TrimSpaces(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(L' ');
  return text.substr(first, last - first + 1);
}

FolderPattern::FolderPattern(const std::wstring& pattern) : pattern_(pattern) {
  try {
    regex_.reset(new std::wregex(pattern_, std::regex::ECMAScript));
  } catch (const std::exception&) {
    regex_.reset();
  }
}

bool FolderPattern::Matches(const std::wstring& folder) const {
  if (!regex_ || folder.size() > kMaxMatchedFolderLength) return false;
  try {
    return std::regex_match(folder, *regex_);
  } catch (const std::exception&) {
    return false;
  }
}

std::wstring ComposeBrowsedFolder(const std::wstring& picked) {
  std::wstring folder = picked;
  const bool endsWithSeparator = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
  if (folder.size() > 3 && !endsWithSeparator) folder += L"\\";
  return folder + L"Quorvane";
}
