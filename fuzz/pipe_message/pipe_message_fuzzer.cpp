// libFuzzer target: one read of the installer progress pipe, decoded and
// classified. Input: a byte n, n bytes of the localized failure text (UTF-8),
// then the bytes of the read (at most kPipeReadBytes are used, as one read
// returns no more).
//
// Properties:
// - the decoded text holds no NUL and no more characters than units read;
// - progress is posted only for 0..100 and always lies in 70..99, rising
//   with the value; only 100 ends the reading;
// - a failure is reported exactly when a non-empty failure text occurs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channel/pipe_message.h"
#include "fuzz/common/fuzz_support.h"
#include "ui/install_presentation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const std::wstring failedText = fuzz::Wide(in.Bytes(in.Byte() % 32));
  const std::string read = in.Bytes(kPipeReadBytes);

  const std::wstring text =
      DecodePipeText(reinterpret_cast<const unsigned char*>(read.data()), read.size());
  FUZZ_CHECK(text.find(L'\0') == std::wstring::npos);
  FUZZ_CHECK(text.size() <= read.size() / 2);

  const PipeMessage m = InterpretPipeMessage(text, failedText);
  const bool failure = !failedText.empty() && text.find(failedText) != std::wstring::npos;
  FUZZ_CHECK((m.kind == PipeMessage::kFailure) == failure);
  if (failure) {
    FUZZ_CHECK(m.endsReading);
    return 0;
  }
  FUZZ_CHECK(m.value == ReadPipeNumber(text));
  if (m.kind == PipeMessage::kProgress) {
    FUZZ_CHECK(m.value >= 0 && m.value <= 100);
    const unsigned bar = InstallerBarValue(m.value);
    FUZZ_CHECK(bar >= 70 && bar <= 99);
    FUZZ_CHECK(m.endsReading == (m.value == 100));
    if (m.value > 0) FUZZ_CHECK(InstallerBarValue(m.value - 1) <= bar);
  } else {
    FUZZ_CHECK(m.kind == PipeMessage::kIgnored);
    FUZZ_CHECK(m.value < 0 || m.value > 100);
    FUZZ_CHECK(!m.endsReading);
  }
  return 0;
}
