#include "install/registration.h"

std::wstring AutostartCommand(const std::wstring& displayIcon) {
  // A logon command with an unquoted blank is split at the blank, which would
  // start "C:\Program.exe" when such a file exists.
  bool hasBlank = displayIcon.find_first_of(L" \t") != std::wstring::npos;
  bool quoted = !displayIcon.empty() && displayIcon.front() == L'"';
  if (!hasBlank || quoted) return displayIcon;
  return L"\"" + displayIcon + L"\"";
}
