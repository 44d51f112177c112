// libFuzzer target: the installation folder's validation. Input: the drives
// (see ReadDrives), then the folder as typed (UTF-8, leniently decoded).
//
// Properties:
// - the pattern holds the letters of the removable, fixed and remote drives,
//   upper case then lower case;
// - the pattern accepts a folder exactly when the independent reference
//   matcher does, and the folder is usable exactly when it also survives the
//   ANSI code page;
// - trimming removes exactly the leading and trailing U+0020.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/common/folder_reference.h"
#include "fuzz/common/fuzz_support.h"
#include "ui/path_pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const std::vector<LogicalDrive> drives = fuzz::ReadDrives(in);
  const std::wstring typed = fuzz::Wide(in.Rest());

  const std::wstring pattern = BuildPathPattern(drives);
  std::wstring upper, lower;
  for (const LogicalDrive& d : drives) {
    if (!fuzz::Kept(d.kind)) continue;
    upper += d.letter;
    lower += static_cast<wchar_t>(d.letter - L'A' + L'a');
  }
  FUZZ_CHECK(pattern.compare(0, 1 + 2 * upper.size(), L"[" + upper + lower) == 0);
  FUZZ_CHECK(pattern[1 + 2 * upper.size()] == L']');

  const std::wstring folder = TrimSpaces(typed);
  const size_t lead = typed.find_first_not_of(L' ');
  if (lead == std::wstring::npos) {
    FUZZ_CHECK(folder.empty());
  } else {
    FUZZ_CHECK(typed.compare(lead, folder.size(), folder) == 0);
    FUZZ_CHECK(folder.front() != L' ' && folder.back() != L' ');
    FUZZ_CHECK(typed.find_first_not_of(L' ', lead + folder.size()) == std::wstring::npos);
  }

  const FolderPattern matcher(pattern);
  FUZZ_CHECK(matcher.Matches(folder) == fuzz::ReferenceMatches(drives, folder));
  FUZZ_CHECK(FolderUsable(matcher, folder) == fuzz::ReferenceValid(drives, folder));
  return 0;
}
