#include <windows.h>
// shlobj.h builds on the declarations of windows.h.
#include <shlobj.h>

#include <vector>

#include "ui/user_ini.h"

namespace {

// The current user's local application data folder; empty when the system
// gives none.
std::wstring LocalAppDataFolder() {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return std::wstring();
  }
  return buffer;
}

// The short (8.3) form of `path`; the path itself when it has none.
std::wstring ShortPath(const std::wstring& path) {
  if (path.empty()) return path;
  DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed + 1);
  DWORD written = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (written == 0 || written >= buffer.size()) return path;
  return std::wstring(buffer.data(), written);
}

}  // namespace

std::wstring UserDataFolderFor(const std::wstring& localAppData) {
  return UserDataFolderFrom(ShortPath(localAppData));
}

std::wstring UserDataFolder() {
  // A function-local static is initialised exactly once, even when several
  // threads ask at the same time.
  static const std::wstring folder = UserDataFolderFor(LocalAppDataFolder());
  return folder;
}

std::wstring UserIniLanguage() {
  const std::wstring path = UserIniPath();
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(L"AppInfo", L"language", L"", value, 1024, path.c_str());
  return value;
}
