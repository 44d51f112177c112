// Small registry operations (Windows only). Every key is opened and created in
// the registry's 32-bit view (kRegView32), the one the 32-bit installer and
// the full installer see, whatever the bitness of this process: reads, writes
// and deletes meet the same entries in a 32-bit and a 64-bit build. None of
// them reports a failure; they keep no shared state and may be called from
// any thread.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

// Add to the access mask of every HKEY_LOCAL_MACHINE\SOFTWARE key we open.
constexpr REGSAM kRegView32 = KEY_WOW64_32KEY;

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
