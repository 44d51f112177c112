// The installation folder's rules: the drive-letter pattern a folder must
// match, the blanks trimmed from what the user typed, and the folder made
// from a picked one. Portable; path_pattern_win.cpp reads the machine's drives.
#pragma once
#include <memory>
#include <regex>
#include <string>
#include <vector>

// What the system says a drive is (the values of GetDriveTypeW).
enum class DriveKind {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6
};

struct LogicalDrive {
  wchar_t letter;  // 'A'..'Z'
  DriveKind kind;
};

// The pattern for these drives: the letters of the removable, fixed and
// remote ones (at most 26), upper case then lower case, in
// "[%s%s]:(\\|/){1}[^\\/:*?"<>|]+((\\|/){1}[^\\/:*?"<>|]+)*(\\|/)?".
std::wstring BuildPathPattern(const std::vector<LogicalDrive>& drives);

// The machine's logical drives with their kinds (Windows only).
std::vector<LogicalDrive> LogicalDrives();

// The text without leading and trailing U+0020 (other blanks stay).
std::wstring TrimSpaces(const std::wstring& text);

// Folders longer than this are not matched at all (and so are invalid): the
// client is started from a 512-character buffer, and the matcher's recursion
// grows with the length of the text.
constexpr size_t kMaxMatchedFolderLength = 1024;

// Matches folders against one pattern, compiled once.
class FolderPattern {
 public:
  explicit FolderPattern(const std::wstring& pattern);
  const std::wstring& Pattern() const { return pattern_; }
  // True when the whole `folder` matches. A pattern that does not compile
  // (no drive letters at all) accepts nothing.
  bool Matches(const std::wstring& folder) const;

 private:
  std::wstring pattern_;
  std::unique_ptr<std::wregex> regex_;
};

// The folder for a folder picked in the browser: the picked path, "\" unless
// it is a drive root (3 characters or fewer) or already ends with "\" or "/",
// then "Quorvane".
std::wstring ComposeBrowsedFolder(const std::wstring& picked);
