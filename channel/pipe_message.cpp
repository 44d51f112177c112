#include "channel/pipe_message.h"

#include <cwchar>

std::wstring DecodePipeText(const unsigned char* bytes, std::size_t count) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    unsigned unit = bytes[i] | (bytes[i + 1] << 8);
    if (unit == 0) break;
    if (sizeof(wchar_t) == 4 && unit >= 0xD800 && unit < 0xDC00 && i + 3 < count) {
      unsigned low = bytes[i + 2] | (bytes[i + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        i += 2;
        continue;
      }
    }
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

long ReadPipeNumber(const std::wstring& text) { return std::wcstol(text.c_str(), nullptr, 10); }

PipeMessage InterpretPipeMessage(const std::wstring& text, const std::wstring& failedText) {
  PipeMessage m;
  if (!failedText.empty() && text.find(failedText) != std::wstring::npos) {
    m.kind = PipeMessage::kFailure;
    m.endsReading = true;
    return m;
  }
  m.value = ReadPipeNumber(text);
  if (m.value < 0 || m.value > 100) return m;
  m.kind = PipeMessage::kProgress;
  m.endsReading = m.value == 100;
  return m;
}
