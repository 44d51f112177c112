#include <windows.h>

#include "ui/path_pattern.h"

std::vector<LogicalDrive> LogicalDrives() {
  std::vector<LogicalDrive> drives;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    drives.push_back(LogicalDrive{root[0], static_cast<DriveKind>(GetDriveTypeW(root))});
  }
  return drives;
}
