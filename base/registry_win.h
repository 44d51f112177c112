// Small registry operations (Windows only). Keys are opened in the registry's
// 32-bit view, the one a 32-bit program sees by default; DeleteRegValue asks
// for it explicitly (KEY_WOW64_32KEY) so writes and deletes meet the same
// entries. None of them reports a failure; they keep no shared state and may
// be called from any thread.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

// Writes one REG_SZ value, (length + 1) * 2 bytes (an empty text is 2 bytes).
// With createKey the key is created when it cannot be opened.
void SetRegString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                  const std::wstring& text, bool createKey);
// Fills `buffer` (capacityBytes bytes) with the value's data, or with
// `defaultText` (null = "") when the key or value cannot be read or does not fit.
void GetRegString(HKEY root, const std::wstring& subKey, const std::wstring& valueName, wchar_t* buffer,
                  DWORD capacityBytes, const wchar_t* defaultText);
void DeleteRegValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName);
#endif
