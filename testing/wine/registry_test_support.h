// Reading and arranging registry values in an explicit view for tests, and
// reading them back through the system's own "reg.exe" (Windows build only).
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

#include "testing/wine/wine_test_support.h"

namespace testsupport {

constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;

struct StoredValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  // The data as UTF-16 text without its terminating zero.
  std::wstring Text() const {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
  }
};

inline StoredValue ReadStored(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
  StoredValue value;
  RegKey handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, handle.put()) != ERROR_SUCCESS)
    return value;
  DWORD size = 0;
  if (RegQueryValueExW(handle.get(), name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.data.resize(size);
    if (RegQueryValueExW(handle.get(), name.c_str(), nullptr, &value.type, value.data.data(), &size) ==
        ERROR_SUCCESS) {
      value.data.resize(size);
      value.present = true;
    }
  }
  return value;
}

inline void WriteStored(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                        const void* data, DWORD bytes, REGSAM view) {
  RegKey handle;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, handle.put(),
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(handle.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
}

inline void WriteText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                      REGSAM view, DWORD type = REG_SZ) {
  WriteStored(root, key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
              view);
}

inline void DeleteStored(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
  RegKey handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, handle.put()) != ERROR_SUCCESS) return;
  RegDeleteValueW(handle.get(), name.c_str());
}

inline bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
  RegKey handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, handle.put()) != ERROR_SUCCESS)
    return false;
  return true;
}

// Deletes `key` (the part after the last "\") with everything below it.
inline void DeleteKeyTree(HKEY root, const std::wstring& key, REGSAM view) {
  size_t cut = key.find_last_of(L'\\');
  RegKey parent;
  if (RegOpenKeyExW(root, key.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) !=
      ERROR_SUCCESS)
    return;
  RegDeleteTreeW(parent.get(), key.substr(cut + 1).c_str());
  RegDeleteKeyExW(parent.get(), key.substr(cut + 1).c_str(), view, 0);
}

inline std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& key, REGSAM view) {
  std::vector<std::wstring> names;
  RegKey handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, handle.put()) != ERROR_SUCCESS)
    return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD chars = 256;
    if (RegEnumValueW(handle.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, chars);
  }
  return names;
}

// What "reg query HKLM\<key> /v <name> /reg:<bits>" reports for a REG_SZ
// value: found with its data, or not found.
struct RegExeAnswer {
  bool found = false;
  std::string data;
};

inline RegExeAnswer RegExeQuery(const std::wstring& key, const std::wstring& name, int bits) {
  std::string output;
  std::wstring command =
      L"reg.exe query \"HKLM\\" + key + L"\" /v \"" + name + L"\" /reg:" + std::to_wstring(bits);
  RegExeAnswer answer;
  if (RunAndCapture(command, &output) != 0) return answer;
  size_t at = output.find("REG_SZ");
  if (at == std::string::npos) return answer;
  answer.found = true;
  size_t start = output.find_first_not_of(' ', at + 6);
  size_t end = output.find_first_of("\r\n", at);
  if (start != std::string::npos && start < end) answer.data = output.substr(start, end - start);
  return answer;
}

}  // namespace testsupport
#endif
