#include "telemetry/activation_report.h"

#include "base/debug_output.h"

#include <cwchar>

#include "base/text_convert.h"
#include "telemetry/user_agent.h"

namespace {

constexpr size_t kBodyBuffer = 1024;

// Escaped while still UTF-16, so that a trail byte of a double-byte ANSI
// character can never be mistaken for a backslash.
std::wstring EscapeJsonText(const std::wstring& text) {
  static const struct {
    wchar_t c;
    const wchar_t* escaped;
  } kShortForms[] = {{L'"', L"\\\""}, {L'\\', L"\\\\"}, {L'\b', L"\\b"}, {L'\f', L"\\f"},
                     {L'\n', L"\\n"}, {L'\r', L"\\r"},  {L'\t', L"\\t"}};
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring out;
  for (wchar_t c : text) {
    const wchar_t* escaped = nullptr;
    for (const auto& form : kShortForms)
      if (form.c == c) escaped = form.escaped;
    if (escaped) {
      out += escaped;
    } else if (static_cast<unsigned long>(c) < 0x20) {
      out += L"\\u00";
      out += kDigits[(c >> 4) & 0xF];
      out += kDigits[c & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FormatActivationBody(const std::wstring& aid, const std::wstring& platformId) {
  // Written bare, so only a number keeps the document valid JSON.
  const bool digits = !platformId.empty() && platformId.find_first_not_of(L"0123456789") == std::wstring::npos;
  if (!digits) {
    DebugOut("client activation left out: the platform id from the file name is not a number");
    return {};
  }
  std::string body = "{ \"aid\": \"" + WideToAnsi(EscapeJsonText(aid)) +
                     "\", \"platform_id\": " + WideToAnsi(platformId) + " }";
  if (body.size() >= kBodyBuffer) return {};
  return body;
}

ClientActivation PrepareClientActivation(const std::wstring& platformId, const std::wstring& aid,
                                         const std::wstring& channelId, const std::wstring& languageName) {
  ClientActivation activation;
  if (platformId.empty() || aid.empty()) return activation;
  activation.body = FormatActivationBody(aid, platformId);
  activation.channelId = channelId;
  activation.languageAnsi = FitPrefix(WideToAnsi(languageName), kUserAgentBuffer - 1, 0);
  return activation;
}

std::string ClientActivationUrl(const std::string& clientServiceHost) {
  return clientServiceHost + "/api/common_bll/v1/client/active";
}
