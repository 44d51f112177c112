// What one read from the installer progress pipe means to the stub.
//
// The full installer writes UTF-16LE text without framing: its progress as
// decimal digits (0..100), or once, on failure, a text that contains the
// stub's own localized "tt_failed" text. Whatever one read returns is one
// message; writes that follow closely may arrive joined ("57" "58" reads as
// 5758 and is ignored).
#pragma once
#include <cstddef>
#include <string>

// Bytes requested per read, and the size of the cleared read buffer.
constexpr std::size_t kPipeReadBytes = 512;
constexpr std::size_t kPipeBufferBytes = 1024;

struct PipeMessage {
  enum Kind {
    kFailure,   // the whole text is the installer's failure message; the reading ends
    kProgress,  // the percentage `value`; the reading ends when `endsReading`
    kIgnored,   // a value outside 0..100
  };
  Kind kind = kIgnored;
  bool endsReading = false;
  long value = 0;         // the number read, for kProgress and kIgnored
};

// The text of one read: the UTF-16LE bytes up to the first NUL unit (an odd
// trailing byte is dropped). Surrogate pairs become one character where
// wchar_t is 32 bits wide.
std::wstring DecodePipeText(const unsigned char* bytes, std::size_t count);

// The number at the start of `text` as wcstol with base 10 reads it: leading
// white space and a sign allowed, digits up to the first other character, 0
// when there are none.
long ReadPipeNumber(const std::wstring& text);

// Classifies one message. `failedText` is the stub's localized "tt_failed"
// text; an empty one recognises no failure (it would match every text).
PipeMessage InterpretPipeMessage(const std::wstring& text, const std::wstring& failedText);
