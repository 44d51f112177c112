#include <windows.h>

#include "base/text_convert.h"

std::string WideToCodePage(const std::wstring& text, unsigned codePage) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(n, '\0');
  WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring CodePageToWide(const std::string& text, unsigned codePage) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(n, L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &out[0], n);
  return out;
}

std::string WideToAnsi(const std::wstring& text) { return WideToCodePage(text, CP_ACP); }
std::wstring AnsiToWide(const std::string& text) { return CodePageToWide(text, CP_ACP); }
std::string WideToUtf8(const std::wstring& text) { return WideToCodePage(text, CP_UTF8); }
std::wstring Utf8ToWide(const std::string& text) { return CodePageToWide(text, CP_UTF8); }
std::string AnsiToUtf8(const std::string& text) { return WideToUtf8(AnsiToWide(text)); }

bool ConvertsLosslessly(const std::wstring& text, unsigned codePage) {
  if (text.empty()) return true;
  const UINT cp = codePage == CP_ACP ? GetACP() : codePage;
  const int length = static_cast<int>(text.size());
  std::string bytes;
  int n = 0;
  if (cp == CP_UTF8 || cp == CP_UTF7) {
    // These take neither best-fit flags nor a used-default flag (a system
    // whose ANSI code page is UTF-8 would otherwise accept no folder at all);
    // only lone surrogates are lost.
    const DWORD flags = cp == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
    n = WideCharToMultiByte(cp, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    bytes.assign(static_cast<size_t>(n), '\0');
    n = WideCharToMultiByte(cp, flags, text.data(), length, &bytes[0], n, nullptr, nullptr);
  } else {
    BOOL usedDefault = FALSE;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    n = WideCharToMultiByte(cp, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {  // code pages without best-fit control
      flags = 0;
      n = WideCharToMultiByte(cp, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (n <= 0) return false;
    bytes.assign(static_cast<size_t>(n), '\0');
    n = WideCharToMultiByte(cp, flags, text.data(), length, &bytes[0], n, nullptr, &usedDefault);
    if (usedDefault) return false;
  }
  if (n <= 0) return false;
  bytes.resize(static_cast<size_t>(n));
  // The way back must give the same text: that also catches a mapping the
  // flags above do not report.
  return CodePageToWide(bytes, cp) == text;
}
