// For the folder targets: the machine's drives carved from fuzz input, and a
// hand-written matcher for the installation folder rules, independent of the
// regular expression the product compiles:
//   <kept drive letter, either case> ":" separator name (separator name)* [separator]
// where a separator is "\" or "/", a name is one or more characters other
// than \ / : * ? " < > |, and folders longer than kMaxMatchedFolderLength
// never match.
#pragma once
#include <cwctype>
#include <string>
#include <vector>

#include "fuzz/common/fuzz_support.h"
#include "ui/path_pattern.h"

namespace fuzz {

// Four bytes of drive bits (A..Z), then one byte of kind per drive present.
inline std::vector<LogicalDrive> ReadDrives(Reader& in) {
  const uint32_t mask = static_cast<uint32_t>(in.Bits(4));
  std::vector<LogicalDrive> drives;
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    drives.push_back(LogicalDrive{static_cast<wchar_t>(L'A' + i), static_cast<DriveKind>(in.Byte() % 7)});
  }
  return drives;
}

inline bool Kept(DriveKind k) { return k == DriveKind::Removable || k == DriveKind::Fixed || k == DriveKind::Remote; }

inline bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

inline bool Forbidden(wchar_t c) {
  return IsSeparator(c) || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|';
}

// The pattern alone: any character but the forbidden ones makes a name.
inline bool ReferenceMatches(const std::vector<LogicalDrive>& drives, const std::wstring& folder) {
  if (folder.size() > kMaxMatchedFolderLength || folder.size() < 4) return false;
  bool letter = false;
  for (const LogicalDrive& d : drives)
    if (Kept(d.kind) && std::towupper(folder[0]) == std::towupper(d.letter) && folder[0] < 128) letter = true;
  if (!letter || folder[1] != L':' || !IsSeparator(folder[2])) return false;
  size_t nameLength = 0;
  for (size_t i = 3; i < folder.size(); ++i) {
    if (IsSeparator(folder[i])) {
      if (nameLength == 0) return false;  // an empty name
      nameLength = 0;
      continue;
    }
    if (Forbidden(folder[i])) return false;
    ++nameLength;
  }
  // A name after the drive is required; one trailing separator is allowed.
  return nameLength > 0 || IsSeparator(folder.back());
}

// A folder the installation can use: the pattern accepts it and it survives
// the ANSI code page the full installer gets it in; natively only a lone
// surrogate fails that conversion.
inline bool ReferenceValid(const std::vector<LogicalDrive>& drives, const std::wstring& folder) {
  for (wchar_t c : folder)
    if (c >= 0xD800 && c <= 0xDFFF) return false;
  return ReferenceMatches(drives, folder);
}

}  // namespace fuzz
