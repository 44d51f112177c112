// The client activation report: the platform id and aid from the installer's
// file name, posted once to the client service when an install has finished.
#pragma once
#include <string>

// What the activation thread carries; everything is captured on the UI
// thread, so the thread reads no control.
struct ClientActivation {
  std::string body;          // the JSON text, sent as it stands
  std::wstring channelId;    // as the window holds it ("5" when none was given)
  std::string languageAnsi;  // the language selector's text, ANSI code page, at most 259 bytes
};

// "{ \"aid\": \"<aid>\", \"platform_id\": <platformId> }" in the ANSI code page.
// The aid is escaped as a JSON string requires (quote, backslash, control
// characters), so an aid holding them can neither break the document nor
// add members; an aid without them is written exactly as given. The platform
// id is written bare and unchanged, as the service expects a number there;
// one that is not all digits would break the document, so then the body is
// empty (nothing is sent) and a debugger line says why. Empty as well when
// the body would not fit its 1024-byte buffer.
std::string FormatActivationBody(const std::wstring& aid, const std::wstring& platformId);

// The activation for these values; `body` is empty (nothing to send) when
// either identifier is empty or the body does not fit.
ClientActivation PrepareClientActivation(const std::wstring& platformId, const std::wstring& aid,
                                         const std::wstring& channelId, const std::wstring& languageName);

// The activation endpoint on `clientServiceHost` (scheme and host).
std::string ClientActivationUrl(const std::string& clientServiceHost);
