// Text conversions between UTF-16 (wide), UTF-8 and the system ANSI code page.
// Natively (no Windows) the "ANSI code page" is UTF-8 and wide text is UTF-32.
// Invalid input never throws; it converts what it can.
#pragma once
#include <string>
#include <type_traits>

std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string AnsiToUtf8(const std::string& text);
// Conversion through an explicit Windows code page (65001 = UTF-8, 0 = ANSI).
std::string WideToCodePage(const std::wstring& text, unsigned codePage);
std::wstring CodePageToWide(const std::string& text, unsigned codePage);

// True when `text` converts to the code page and back without any change: no
// best-fit replacement (U+0141 "Ł" to "L"), no default character ("?"
// for a Cyrillic letter). A folder that fails this cannot be handed to a peer
// that takes ANSI text (the full installer's command line) without the peer
// working somewhere else. 0 = the ANSI code page. Natively the "ANSI code
// page" is UTF-8, which holds every character but lone surrogates.
bool ConvertsLosslessly(const std::wstring& text, unsigned codePage);
inline bool AnsiLossless(const std::wstring& text) { return ConvertsLosslessly(text, 0); }

// An integer in decimal digits as wide text. (The library's to_wstring and
// swprintf go through the C99 wide printf, which takes room in the installer
// and nothing else needs; the narrow digits have no such cost.)
template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
std::wstring DecimalWide(T value) {
  const std::string digits = std::to_string(value);
  return std::wstring(digits.begin(), digits.end());
}
