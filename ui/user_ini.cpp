#include "ui/user_ini.h"

std::wstring UserDataFolderFrom(const std::wstring& shortLocalAppData) {
  // A trailing "\" is not a level of its own; a drive root ("C:\") has
  // no level above it.
  std::wstring path = shortLocalAppData;
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  const size_t cut = path.rfind(L'\\');
  const std::wstring parent = cut == std::wstring::npos ? path : path.substr(0, cut);
  return parent + L"\\Local";
}

std::wstring UserIniPath() { return UserDataFolder() + L"\\Quorvane\\user.ini"; }
