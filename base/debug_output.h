// Diagnostics: plain lines to the debugger output (OutputDebugStringA/W on
// Windows), written exactly as given (no line end is added).
//
// Tests may install a sink that receives every line as UTF-8; on Windows the
// line still goes to the debugger as well. Natively, without a sink, lines go
// to stderr only when QV_DEBUG_STDERR is set.
#pragma once
#include <functional>
#include <string>

void DebugOut(const std::string& text);    // narrow (ANSI code page) line
void DebugOutW(const std::wstring& text);  // wide line

using DebugSink = std::function<void(const std::string& utf8)>;
// Replaces the sink (empty function removes it). Thread-safe.
void SetDebugSink(DebugSink sink);
// Replaces the run log's hook (base/run_log.h), which receives every line as
// UTF-8 besides the sink; it must not block. Thread-safe.
void SetDebugLog(DebugSink log);
