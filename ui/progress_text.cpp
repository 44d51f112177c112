#include "ui/progress_text.h"

#include <cmath>
#include <vector>

#include "base/text_convert.h"

namespace {

struct LanguageNumbers {
  const wchar_t* code;
  NumberFormat format;
};

// Separators as each language's Windows locale writes them by default (Arabic
// with Western digits, as Windows shows them). French, Russian and Ukrainian
// group with a no-break space so a number never wraps.
const LanguageNumbers kNumbers[] = {
    {L"en", {L".", L","}},        {L"de", {L",", L"."}},        {L"es", {L",", L"."}},
    {L"fr", {L",", L"\u00A0"}},   {L"it", {L",", L"."}},        {L"pt-br", {L",", L"."}},
    {L"ru", {L",", L"\u00A0"}},   {L"uk", {L",", L"\u00A0"}},   {L"tr", {L",", L"."}},
    {L"vi", {L",", L"."}},        {L"ja", {L".", L","}},        {L"ko", {L".", L","}},
    {L"zh-tw", {L".", L","}},     {L"zh_cn", {L".", L","}},     {L"th", {L".", L","}},
    {L"arabic", {L".", L","}},
};

}  // namespace

NumberFormat NumberFormatFor(const std::wstring& code) {
  for (const LanguageNumbers& l : kNumbers)
    if (code == l.code) return l.format;
  return kNumbers[0].format;
}

std::wstring FormatNumber(double value, int decimals, const NumberFormat& nf) {
  if (!(value >= 0)) value = 0;  // also NaN
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const uint64_t fixed = static_cast<uint64_t>(std::floor(value * static_cast<double>(scale) + 0.5));
  std::wstring whole = DecimalWide(fixed / scale);
  std::wstring out;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += nf.group;
    out += whole[i];
  }
  if (decimals > 0) {
    std::wstring frac = DecimalWide(fixed % scale);
    out += nf.decimal + std::wstring(static_cast<size_t>(decimals) - frac.size(), L'0') + frac;
  }
  return out;
}

std::wstring FillPattern(const std::wstring& pattern, std::initializer_list<std::wstring> args) {
  std::vector<std::wstring> a(args);
  std::wstring out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == L'%' && i + 1 < pattern.size() && pattern[i + 1] >= L'1' && pattern[i + 1] <= L'9') {
      size_t k = static_cast<size_t>(pattern[i + 1] - L'1');
      if (k < a.size()) out += a[k];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::wstring FormatSize(uint64_t bytes, const std::wstring& code, const TextLookup& text) {
  const NumberFormat nf = NumberFormatFor(code);
  const double b = static_cast<double>(bytes);
  if (bytes < 1024) return FillPattern(text(L"tt_size_b"), {FormatNumber(b, 0, nf)});
  if (bytes < 1024ull * 1024) return FillPattern(text(L"tt_size_kb"), {FormatNumber(b / 1024, 0, nf)});
  if (bytes < 1024ull * 1024 * 1024)
    return FillPattern(text(L"tt_size_mb"), {FormatNumber(b / (1024.0 * 1024), 1, nf)});
  return FillPattern(text(L"tt_size_gb"), {FormatNumber(b / (1024.0 * 1024 * 1024), 2, nf)});
}

std::wstring FormatRate(double bytesPerSecond, const std::wstring& code, const TextLookup& text) {
  if (!(bytesPerSecond >= 0)) bytesPerSecond = 0;
  return FillPattern(text(L"tt_rate"), {FormatSize(static_cast<uint64_t>(bytesPerSecond), code, text)});
}

std::wstring FormatTimeLeft(double seconds, const TextLookup& text) {
  if (!(seconds >= 0)) seconds = 0;
  const double capped = std::min(seconds, 99.0 * 3600 + 59 * 60);
  uint64_t s = static_cast<uint64_t>(std::ceil(capped));
  if (s < 60) return FillPattern(text(L"tt_time_s"), {DecimalWide(s)});
  auto two = [](uint64_t v) { return (v < 10 ? L"0" : L"") + DecimalWide(v); };
  if (s < 3600) return FillPattern(text(L"tt_time_min_s"), {DecimalWide(s / 60), two(s % 60)});
  const uint64_t minutes = (s + 59) / 60;  // round up to the minute
  return FillPattern(text(L"tt_time_h_min"), {DecimalWide(minutes / 60), two(minutes % 60)});
}

void TransferRate::Add(double seconds, uint64_t received) {
  if (!started_) {
    started_ = true;
    first_ = last_ = seconds;
    lastBytes_ = received;
    return;
  }
  const double dt = seconds - last_;
  if (received < lastBytes_) {  // a restarted transfer: start over
    *this = TransferRate();
    Add(seconds, received);
    return;
  }
  if (dt < kMinInterval) return;
  const double now = static_cast<double>(received - lastBytes_) / dt;
  rate_ = samples_ == 0 ? now : kWeight * now + (1 - kWeight) * rate_;
  ++samples_;
  last_ = seconds;
  lastBytes_ = received;
}

bool TransferRate::IsSteady() const {
  return samples_ >= kSteadySamples && last_ - first_ >= kSteadyAfter && rate_ > 0;
}

std::wstring DownloadStatusText(uint64_t received, uint64_t total, const TransferRate& rate,
                                const std::wstring& code, const TextLookup& text) {
  const std::wstring got = FormatSize(received, code, text);
  if (total == 0) {
    if (!rate.HasRate()) return FillPattern(text(L"tt_download_received"), {got});
    return FillPattern(text(L"tt_download_received_rate"), {got, FormatRate(rate.BytesPerSecond(), code, text)});
  }
  const std::wstring all = FormatSize(total, code, text);
  if (!rate.HasRate()) return FillPattern(text(L"tt_download_of"), {got, all});
  const std::wstring speed = FormatRate(rate.BytesPerSecond(), code, text);
  if (!rate.IsSteady() || received >= total) return FillPattern(text(L"tt_download_of_rate"), {got, all, speed});
  const double left = static_cast<double>(total - received) / rate.BytesPerSecond();
  return FillPattern(text(L"tt_download_of_rate_left"), {got, all, speed, FormatTimeLeft(left, text)});
}

std::wstring InstallerRunningText(const TextLookup& text) { return text(L"tt_install_running"); }
