#include "base/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <type_traits>

#include "base/text_convert.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
std::mutex sinkLock;
DebugSink& Sink() {
  static DebugSink sink;
  return sink;
}
std::mutex logLock;
DebugSink& Log() {
  static DebugSink log;
  return log;
}

void ToSink(const std::string& utf8) {
  {
    std::lock_guard<std::mutex> lock(logLock);
    if (Log()) Log()(utf8);
  }
  std::lock_guard<std::mutex> lock(sinkLock);
  if (Sink()) {
    Sink()(utf8);
    return;
  }
#ifndef _WIN32
  static const bool toStderr = std::getenv("QV_DEBUG_STDERR") != nullptr;
  if (toStderr) std::fprintf(stderr, "%s\n", utf8.c_str());
#endif
}

template <class Char>
std::basic_string<Char> Escape(const std::basic_string<Char>& text, bool wide) {
  auto code = [](Char ch) { return static_cast<unsigned long>(static_cast<std::make_unsigned_t<Char>>(ch)); };
  auto isControl = [wide, code](Char ch) {
    const unsigned long c = code(ch);
    if (c < 0x20) return c != '\t';
    return c == 0x7F || (wide && (c == 0x85 || c == 0x2028 || c == 0x2029));
  };
  // The line's own end: a trailing run of CR and LF.
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == Char('\r') || text[end - 1] == Char('\n'))) --end;
  size_t i = 0;
  while (i < end && !isControl(text[i])) ++i;
  if (i == end) return text;
  std::basic_string<Char> out = text.substr(0, i);
  static const char kHex[] = "0123456789ABCDEF";
  for (; i < end; ++i) {
    const Char ch = text[i];
    if (!isControl(ch)) {
      out += ch;
      continue;
    }
    const unsigned long c = code(ch);
    out += Char('\\');
    if (c == '\r') {
      out += Char('r');
    } else if (c == '\n') {
      out += Char('n');
    } else if (c > 0xFF) {
      out += Char('u');
      for (int shift = 12; shift >= 0; shift -= 4) out += Char(kHex[(c >> shift) & 0xF]);
    } else {
      out += Char('x');
      out += Char(kHex[c >> 4]);
      out += Char(kHex[c & 0xF]);
    }
  }
  out.append(text, end, std::basic_string<Char>::npos);
  return out;
}
}  // namespace

std::string EscapeLineControls(const std::string& text) { return Escape(text, false); }
std::wstring EscapeLineControls(const std::wstring& text) { return Escape(text, true); }

void DebugOut(const std::string& raw) {
  const std::string text = EscapeLineControls(raw);
#ifdef _WIN32
  OutputDebugStringA(text.c_str());
#endif
  ToSink(AnsiToUtf8(text));
}

void DebugOutW(const std::wstring& raw) {
  const std::wstring text = EscapeLineControls(raw);
#ifdef _WIN32
  OutputDebugStringW(text.c_str());
#endif
  ToSink(WideToUtf8(text));
}

void SetDebugSink(DebugSink sink) {
  std::lock_guard<std::mutex> lock(sinkLock);
  Sink() = std::move(sink);
}

void SetDebugLog(DebugSink log) {
  std::lock_guard<std::mutex> lock(logLock);
  Log() = std::move(log);
}
