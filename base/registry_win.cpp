#include "base/registry_win.h"

#include <cwchar>

#include "base/win_handle.h"

namespace {
void CopyDefault(wchar_t* buffer, DWORD capacityBytes, const wchar_t* defaultText) {
  DWORD chars = capacityBytes / sizeof(wchar_t);
  if (!buffer || chars == 0) return;
  const wchar_t* text = defaultText ? defaultText : L"";
  wcsncpy(buffer, text, chars - 1);
  buffer[chars - 1] = L'\0';
}
}  // namespace

void SetRegString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                  const std::wstring& text, bool createKey) {
  RegKey key;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | kRegView32, key.put()) != ERROR_SUCCESS) {
    if (!createKey) return;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kRegView32, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
      return;
  }
  RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void GetRegString(HKEY root, const std::wstring& subKey, const std::wstring& valueName, wchar_t* buffer,
                  DWORD capacityBytes, const wchar_t* defaultText) {
  RegKey key;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | kRegView32, key.put()) != ERROR_SUCCESS) {
    CopyDefault(buffer, capacityBytes, defaultText);
    return;
  }
  DWORD size = capacityBytes;
  if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
      ERROR_SUCCESS) {
    // The stored data need not end with a zero; make sure the buffer does.
    DWORD chars = capacityBytes / sizeof(wchar_t);
    DWORD got = size / sizeof(wchar_t);
    if (got < chars) {
      buffer[got] = L'\0';
    } else if (got == chars && (got == 0 || buffer[got - 1] != L'\0')) {
      CopyDefault(buffer, capacityBytes, defaultText);
    }
    return;
  }
  CopyDefault(buffer, capacityBytes, defaultText);
}

void DeleteRegValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName) {
  RegKey key;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | kRegView32, key.put()) == ERROR_SUCCESS)
    RegDeleteValueW(key.get(), valueName.c_str());
}
