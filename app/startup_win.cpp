#include "app/startup_win.h"

#include <algorithm>

#include "base/win_handle.h"
#include "toolkit/zip_archive.h"

void MarkCompatibilityAssistantDone() {
  wchar_t path[260] = {};
  if (GetModuleFileNameW(nullptr, path, 260) == 0) return;
  path[259] = L'\0';
  RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted",
                    0, KEY_READ | KEY_WRITE, key.put()) != ERROR_SUCCESS)
    return;
  DWORD one = 1;
  RegSetValueExW(key.get(), path, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
}

bool LoadSkinPackage(HINSTANCE instance) {
  HRSRC res = FindResourceW(instance, L"IDR_ZIPRES", L"ZIPRES");
  if (!res) return false;
  HGLOBAL loaded = LoadResource(instance, res);
  DWORD size = SizeofResource(instance, res);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return false;
  // Resource memory lives as long as the module: the archive may keep pointing at it.
  SetSkinArchive(data, size);
  return true;
}

void CentreWindow(HWND window) {
  RECT rc{};
  GetWindowRect(window, &rc);
  int width = rc.right - rc.left, height = rc.bottom - rc.top;
  RECT area{};
  HWND owner = GetWindow(window, GW_OWNER);
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &mi);
  if (owner) {
    GetWindowRect(owner, &area);
  } else {
    area = mi.rcWork;
  }
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - width));
  y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - height));
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
