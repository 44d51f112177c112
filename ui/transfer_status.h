// The progress page's status row as a presenter: which text it shows for each
// progress snapshot the window receives, and when. While the full installer
// downloads it samples the rate from the snapshots, says what has arrived, of
// how much, at which rate and, once the rate is steady, the time left; the
// text changes at most once per interval, and a change held back is shown
// when the window's timer calls Due. Once the full installer runs, its own
// line, shown once. Portable; the window keeps the control and the timer.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "ui/progress_text.h"

// What the window does with its status row after a call.
struct StatusRowStep {
  bool show = false;          // set the row to `text`
  std::wstring text;          // with show
  uint64_t waitMs = 0;        // > 0: call Due after this many milliseconds
  bool downloadText = false;  // `text` is a download text (the window writes it as a line)
};

class TransferStatus {
 public:
  // The row's download text changes at most this often.
  static constexpr uint64_t kIntervalMs = 300;

  explicit TransferStatus(TextLookup text) : text(std::move(text)) {}

  // A download snapshot arrived at `nowMs` (any monotonic millisecond clock):
  // a rate sample, then the row unless the interval holds it back.
  StatusRowStep Downloading(uint64_t received, uint64_t total, uint64_t nowMs,
                            const std::wstring& languageCode);
  // The full installer runs: its line, the first time only; download texts
  // end here.
  StatusRowStep InstallerRunning();
  // The wait a step asked for is over: the latest snapshot's text, if the
  // interval allows and it differs from the row's.
  StatusRowStep Due(uint64_t nowMs, const std::wstring& languageCode);

 private:
  StatusRowStep Render(uint64_t nowMs, const std::wstring& languageCode);

  TextLookup text;
  TransferRate rate;
  bool sampled = false;
  uint64_t startMs = 0;
  bool shownOnce = false;
  uint64_t shownMs = 0;
  std::wstring shown;  // the download text the row holds
  uint64_t received = 0, total = 0;
  bool installerRunning = false;
};
