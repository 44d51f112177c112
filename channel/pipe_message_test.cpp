#include "channel/pipe_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring kFailed = L"Failed to install";

TEST(PipeMessage, ClassifiesOneRead) {
  struct Case {
    const char* name;
    std::wstring text;
    std::wstring failedText;
    PipeMessage::Kind kind;
    long value;  // for kProgress
    bool ends;
  };
  const std::vector<Case> cases = {
      {"zero", L"0", kFailed, PipeMessage::kProgress, 0, false},
      {"five", L"5", kFailed, PipeMessage::kProgress, 5, false},
      {"six", L"6", kFailed, PipeMessage::kProgress, 6, false},
      {"half", L"50", kFailed, PipeMessage::kProgress, 50, false},
      {"ninety-nine", L"99", kFailed, PipeMessage::kProgress, 99, false},
      {"hundred ends", L"100", kFailed, PipeMessage::kProgress, 100, true},
      {"blanks and sign", L"  +7", kFailed, PipeMessage::kProgress, 7, false},
      {"digits then text", L"42%done", kFailed, PipeMessage::kProgress, 42, false},
      {"hex is base 10", L"0x10", kFailed, PipeMessage::kProgress, 0, false},
      {"closed end reads as zero", L"", kFailed, PipeMessage::kProgress, 0, false},
      {"no digits", L"abc", kFailed, PipeMessage::kProgress, 0, false},
      {"negative", L"-1", kFailed, PipeMessage::kIgnored, 0, false},
      {"above hundred", L"101", kFailed, PipeMessage::kIgnored, 0, false},
      {"two writes joined", L"5758", kFailed, PipeMessage::kIgnored, 0, false},
      {"beyond long", L"99999999999999999999999", kFailed, PipeMessage::kIgnored, 0, false},
      {"failure with detail", L"Failed to install: disk full", kFailed, PipeMessage::kFailure, 0, true},
      {"failure text anywhere", L"setup: Failed to install", kFailed, PipeMessage::kFailure, 0, true},
      {"failure that starts with digits", L"100 Failed to install", kFailed, PipeMessage::kFailure, 0, true},
      {"other language's failure", L"Installation fehlgeschlagen", kFailed, PipeMessage::kProgress, 0, false},
      {"case differs", L"failed to install", kFailed, PipeMessage::kProgress, 0, false},
      {"untranslated id", L"tt_failed: code 5", L"tt_failed", PipeMessage::kFailure, 0, true},
      {"empty failure text matches nothing", L"100", L"", PipeMessage::kProgress, 100, true},
  };
  for (const Case& c : cases) {
    PipeMessage m = InterpretPipeMessage(c.text, c.failedText);
    EXPECT_EQ(m.kind, c.kind) << c.name;
    EXPECT_EQ(m.endsReading, c.ends) << c.name;
    if (c.kind == PipeMessage::kProgress) {
      EXPECT_EQ(m.value, c.value) << c.name;
    }
  }
}

TEST(PipeMessage, DecodesOneRead) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {"digits", {'1', 0, '0', 0, '0', 0}, L"100"},
      {"ends at the first NUL unit", {'5', 0, 0, 0, '6', 0}, L"5"},
      {"odd trailing byte dropped", {'7', 0, '8'}, L"7"},
      {"empty", {}, L""},
      {"non-ASCII unit", {0xE9, 0x00, 0x2C, 0x67}, L"\u00E9\u672C"},
      {"surrogate pair", {0x3D, 0xD8, 0x00, 0xDE}, std::wstring(sizeof(wchar_t) == 4 ? L"\U0001F600" : L"\xD83D\xDE00")},
      {"lone high surrogate kept", {0x3D, 0xD8, '1', 0}, std::wstring(1, wchar_t(0xD83D)) + L"1"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodePipeText(c.bytes.data(), c.bytes.size()), c.text) << c.name;
}

TEST(PipeMessage, LongFailureTextIsRecognisedWhenCutToOneRead) {
  // A write longer than one read arrives in pieces; the first piece still
  // carries the failure text when it lies within its first 256 units.
  std::wstring message = kFailed + L": " + std::wstring(400, L'x');
  std::vector<unsigned char> bytes;
  for (wchar_t c : message) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
  }
  std::wstring first = DecodePipeText(bytes.data(), kPipeReadBytes);
  EXPECT_EQ(first.size(), 256u);
  PipeMessage m = InterpretPipeMessage(first, kFailed);
  EXPECT_EQ(m.kind, PipeMessage::kFailure);
}

}  // namespace
