#include "base/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

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
}  // namespace

void DebugOut(const std::string& text) {
#ifdef _WIN32
  OutputDebugStringA(text.c_str());
#endif
  ToSink(AnsiToUtf8(text));
}

void DebugOutW(const std::wstring& text) {
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
