#include "telemetry/user_agent.h"

#include "base/text_convert.h"
#include "telemetry/device_identity.h"

namespace {
constexpr unsigned kUtf8 = 65001;
constexpr unsigned kAnsi = 0;
const char kClientVersion[] = "3.0.0";

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
}  // namespace

std::string FitPrefix(const std::string& text, size_t maxBytes, unsigned codePage) {
  if (text.size() <= maxBytes) return text;
  std::wstring wide = CodePageToWide(text, codePage);
  auto encoded = [&](size_t chars) { return WideToCodePage(wide.substr(0, chars), codePage); };
  // The encoded length grows with the number of characters: find the largest
  // count that fits, then step back past a split surrogate pair or a prefix
  // that does not reproduce the original bytes (invalid input).
  size_t low = 0, high = wide.size();
  while (low < high) {
    size_t mid = low + (high - low + 1) / 2;
    if (encoded(mid).size() <= maxBytes)
      low = mid;
    else
      high = mid - 1;
  }
  for (size_t chars = low; chars > 0; --chars) {
    if (IsHighSurrogate(wide[chars - 1])) continue;
    std::string prefix = encoded(chars);
    if (prefix.size() <= maxBytes && text.compare(0, prefix.size(), prefix) == 0) return prefix;
  }
  return {};
}

std::string FormatUserAgentLine(const std::string& os, const std::wstring& channelId,
                                const std::string& deviceId, const std::string& language,
                                unsigned languageCodePage) {
  struct Part {
    std::string text;
    unsigned codePage;
  };
  const Part parts[] = {
      {"User-Agent: PC/Windows/", kAnsi},
      {os, kAnsi},
      {"/", kAnsi},
      {WideToAnsi(channelId), kAnsi},
      {std::string("/Quorvane-PC/") + kClientVersion + "/", kAnsi},
      {deviceId, kUtf8},
      {"/", kAnsi},
      {language, languageCodePage},
  };
  const size_t limit = kUserAgentBuffer - 1;
  std::string line;
  for (const Part& part : parts) {
    if (line.size() + part.text.size() <= limit) {
      line += part.text;
      continue;
    }
    line += FitPrefix(part.text, limit - line.size(), part.codePage);
    break;
  }
  return line;
}

std::string BuildUserAgentLine(const std::wstring& channelId, const std::wstring& languageName,
                               unsigned languageCodePage) {
  char deviceId[kUserAgentBuffer] = {};
  GetDeviceId(deviceId, sizeof deviceId);
  return FormatUserAgentLine(GetOsDescription(), channelId, deviceId,
                             WideToCodePage(languageName, languageCodePage), languageCodePage);
}

UserAgentLineCache::UserAgentLineCache()
    : build_([](const std::wstring& channelId, const std::wstring& languageName) {
        return BuildUserAgentLine(channelId, languageName, kUtf8);
      }) {}

const std::string& UserAgentLineCache::Get(const std::wstring& channelId, const std::wstring& languageName) {
  std::call_once(once_, [&] { line_ = build_(channelId, languageName); });
  return line_;
}

const std::string& ProcessUserAgentLine(const std::wstring& channelId, const std::wstring& languageName) {
  static UserAgentLineCache cache;
  return cache.Get(channelId, languageName);
}
