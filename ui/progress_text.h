// The texts of the progress page's status row: received and total size, the
// rate and the time left while the full installer downloads, in the user's
// language with its own number format. Portable.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Looks a "tt_" id up (GetText of the text table by default).
using TextLookup = std::function<std::wstring(const std::wstring&)>;

struct NumberFormat {
  std::wstring decimal;  // decimal separator
  std::wstring group;    // thousands separator
};

// The number format of a language code of the text table ("en", "de",
// "arabic", ...); English for codes it does not know.
NumberFormat NumberFormatFor(const std::wstring& languageCode);

// `value` with `decimals` digits after the separator (rounded half up) and
// grouped thousands.
std::wstring FormatNumber(double value, int decimals, const NumberFormat& nf);

// "512 B", "1,023 KB", "4.7 MB", "1.25 GB" (units and order from the table).
std::wstring FormatSize(uint64_t bytes, const std::wstring& languageCode, const TextLookup& text);
// "1.2 MB/s".
std::wstring FormatRate(double bytesPerSecond, const std::wstring& languageCode, const TextLookup& text);
// "45 s", "3 min 05 s", "2 h 10 min" (rounded up: never says less than is left).
std::wstring FormatTimeLeft(double seconds, const TextLookup& text);

// The download rate as a person should see it: an exponential moving
// average of the rate between samples, steady once enough time has passed.
class TransferRate {
 public:
  // Samples closer than this are merged; the average weighs each new one so.
  static constexpr double kMinInterval = 0.25;  // seconds
  static constexpr double kWeight = 0.3;
  // The time left shows only after this long and this many intervals.
  static constexpr double kSteadyAfter = 3.0;  // seconds
  static constexpr int kSteadySamples = 4;

  // `seconds` from any fixed start, `received` bytes so far.
  void Add(double seconds, uint64_t received);
  bool HasRate() const { return samples_ > 0; }
  bool IsSteady() const;
  double BytesPerSecond() const { return rate_; }

 private:
  bool started_ = false;
  double first_ = 0, last_ = 0;
  uint64_t lastBytes_ = 0;
  double rate_ = 0;
  int samples_ = 0;
};

// The status row while downloading: "4.7 MB of 48.0 MB at 1.2 MB/s, 36 s
// left"; without a steady rate no time left, without a rate no rate, without
// a total (0) only what has arrived.
std::wstring DownloadStatusText(uint64_t received, uint64_t total, const TransferRate& rate,
                                const std::wstring& languageCode, const TextLookup& text);

// The status row while the full installer runs.
std::wstring InstallerRunningText(const TextLookup& text);

// Replaces %1..%9 in `pattern` by `args` (a missing one becomes empty).
std::wstring FillPattern(const std::wstring& pattern, std::initializer_list<std::wstring> args);
