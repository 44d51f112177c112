// The client identification line sent with every request to the vendor:
// "User-Agent: PC/Windows/<os>/<channel>/Quorvane-PC/3.0.0/<device id>/<language>".
#pragma once
#include <functional>
#include <mutex>
#include <string>

// Room for the line, its terminating zero included.
constexpr size_t kUserAgentBuffer = 260;

// The line from its parts: `os` and the channel id (written in the ANSI code
// page), the device identifier, and the language name already encoded in
// `languageCodePage` (65001 = UTF-8, 0 = ANSI). A line longer than 259 bytes
// is cut to at most 259 bytes at a character boundary of the part where the
// cut falls, so no multibyte character is split.
std::string FormatUserAgentLine(const std::string& os, const std::wstring& channelId,
                                const std::string& deviceId, const std::string& language,
                                unsigned languageCodePage);

// The longest prefix of `text` (encoded in `codePage`) of at most `maxBytes`
// bytes that ends on a character boundary.
std::string FitPrefix(const std::string& text, size_t maxBytes, unsigned codePage);

// The line for this machine now: the OS description, the device identifier
// and the language name converted to `languageCodePage`.
std::string BuildUserAgentLine(const std::wstring& channelId, const std::wstring& languageName,
                               unsigned languageCodePage);

// A line built on the first Get and returned unchanged by every later one,
// whatever they pass. Safe under concurrent first use; the builder runs once.
class UserAgentLineCache {
 public:
  using Builder = std::function<std::string(const std::wstring& channelId, const std::wstring& languageName)>;
  UserAgentLineCache();  // builds with the language name in UTF-8
  explicit UserAgentLineCache(Builder build) : build_(std::move(build)) {}
  const std::string& Get(const std::wstring& channelId, const std::wstring& languageName);

 private:
  Builder build_;
  std::once_flag once_;
  std::string line_;
};

// The process's line, for the main window's GetUserAgentLine: `channelId` as
// the window holds it ("5" when the launch options had none) and the language
// selector's text, both read on the UI thread.
const std::string& ProcessUserAgentLine(const std::wstring& channelId, const std::wstring& languageName);
