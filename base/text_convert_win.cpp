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
