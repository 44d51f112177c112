// Diagnostics: plain lines to the debugger output (OutputDebugStringA/W on
// Windows), written as given (no line end is added), except that a line
// cannot hold a line break: many lines carry text from outside (domain names
// from the directory, the full installer's pipe text, server answers), and
// such text must not be able to start a line of its own in the run log
// ("... exit code 0"). Control characters inside a line are written escaped
// (EscapeLineControls); a line end at the very end stays.
//
// Tests may install a sink that receives every line as UTF-8; on Windows the
// line still goes to the debugger as well. Natively, without a sink, lines go
// to stderr only when QV_DEBUG_STDERR is set.
#pragma once
#include <functional>
#include <string>

void DebugOut(const std::string& text);    // narrow (ANSI code page) line
void DebugOutW(const std::wstring& text);  // wide line

// `text` with every control character (C0 but the tab, DEL; in wide text
// also NEL and the Unicode line and paragraph separators) written as "\r",
// "\n" or "\xHH" / "\uHHHH", except a run of CR and LF that ends the text.
// Text without such characters comes back unchanged.
std::string EscapeLineControls(const std::string& text);
std::wstring EscapeLineControls(const std::wstring& text);

using DebugSink = std::function<void(const std::string& utf8)>;
// Replaces the sink (empty function removes it). Thread-safe.
void SetDebugSink(DebugSink sink);
// Replaces the run log's hook (base/run_log.h), which receives every line as
// UTF-8 besides the sink; it must not block. Thread-safe.
void SetDebugLog(DebugSink log);
