// The installation folder's rules: the drive-letter pattern a folder must
// match, the blanks trimmed from what the user typed, and the folder made
// from a picked one. Portable; path_pattern_win.cpp reads the machine's drives.
#pragma once
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
// client is started from a 512-character buffer.
constexpr size_t kMaxMatchedFolderLength = 1024;

// Matches folders against a pattern made by BuildPathPattern, as the regular
// expression (ECMAScript, whole text) would, without a regular-expression
// engine: the pattern's only variable part is its letter class.
class FolderPattern {
 public:
  explicit FolderPattern(const std::wstring& pattern);
  const std::wstring& Pattern() const { return pattern_; }
  // True when the whole `folder` matches. A pattern without drive letters, or
  // one not of BuildPathPattern's form, accepts nothing.
  bool Matches(const std::wstring& folder) const;

 private:
  std::wstring pattern_;
  std::wstring letters_;  // the letter class
  bool understood_ = false;
};

// A folder the installation can use: it matches `pattern` and converts to the
// ANSI code page without loss (AnsiLossless). The full installer takes its
// folder as ANSI text; a lossy conversion (D:\Gry\Złote\Дом under
// code page 1252 becomes D:\Gry\Zlote\???) would install somewhere else than
// the shortcut and the start button point at.
bool FolderUsable(const FolderPattern& pattern, const std::wstring& folder);

// The folder for a folder picked in the browser: the picked path, "\" unless
// it is a drive root (3 characters or fewer) or already ends with "\" or "/",
// then "Quorvane".
std::wstring ComposeBrowsedFolder(const std::wstring& picked);
