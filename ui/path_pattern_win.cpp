#include <windows.h>

#include "ui/path_pattern.h"

namespace {

// A drive present in the mask whose type reads as unknown or rootless was seen
// under load (Wine asking its mount manager); read it again a few times before
// it counts as such, so a valid folder on it is not refused.
UINT DriveTypeOf(const wchar_t* root) {
  UINT type = GetDriveTypeW(root);
  for (int attempt = 0; attempt < 3 && (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR); ++attempt) {
    Sleep(20);
    type = GetDriveTypeW(root);
  }
  return type;
}

}  // namespace

std::vector<LogicalDrive> LogicalDrives() {
  std::vector<LogicalDrive> drives;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    drives.push_back(LogicalDrive{root[0], static_cast<DriveKind>(DriveTypeOf(root))});
  }
  return drives;
}
