// libFuzzer target: the directory's answer read with the OSS_DOMAIN rules,
// and the text helpers of the directory request. Input: the answer's body.
//
// Properties:
// - the result is the built-in list, or the URLs of an element that names
//   "OSS_DOMAIN"; an answer that cannot name it keeps the built-in list;
// - without escapes in the answer, every URL taken from it stands in it;
// - percent-encoding yields only unreserved characters and "%XX", and
//   decodes back to the input;
// - the build version is the fourth of exactly four "."-separated pieces.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/build_version.h"
#include "fuzz/common/fuzz_support.h"
#include "net/backup_domains.h"

namespace {

bool Unreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is never written
}

void CheckPercentEncode(const std::string& text) {
  const std::string encoded = PercentEncode(text);
  std::string decoded;
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      FUZZ_CHECK(Unreserved(encoded[i]));
      decoded += encoded[i];
      continue;
    }
    FUZZ_CHECK(i + 2 < encoded.size());
    const int hi = HexValue(encoded[i + 1]), lo = HexValue(encoded[i + 2]);
    FUZZ_CHECK(hi >= 0 && lo >= 0);
    FUZZ_CHECK(!Unreserved(static_cast<char>(hi * 16 + lo)));
    decoded += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  FUZZ_CHECK(decoded == text);
}

void CheckBuildVersion(const std::string& text) {
  const std::string version = BuildVersionFromFileVersion(text);
  FUZZ_CHECK(version.find('.') == std::string::npos);
  if (version.empty()) return;
  // Exactly three dots before it, and at most one (the last character) after.
  size_t dots = 0;
  for (char c : text) dots += c == '.';
  const bool trailingDot = !text.empty() && text.back() == '.';
  FUZZ_CHECK(dots == (trailingDot ? 4u : 3u));
  const size_t third = text.find('.', text.find('.', text.find('.') + 1) + 1);
  FUZZ_CHECK(text.compare(third + 1, version.size(), version) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string answer(reinterpret_cast<const char*>(data), size);
  const DomainList builtin = {"https://builtin-one.invalid", "https://builtin-two.invalid"};
  const DomainList domains = ParseBackupDomains(answer, builtin);

  if (answer.find("OSS_DOMAIN") == std::string::npos && answer.find('\\') == std::string::npos)
    FUZZ_CHECK(domains == builtin);
  if (domains != builtin && answer.find('\\') == std::string::npos) {
    for (const std::string& url : domains) FUZZ_CHECK(answer.find('"' + url + '"') != std::string::npos);
  }

  if (size <= 256) {
    CheckPercentEncode(answer);
    CheckBuildVersion(answer);
  }
  return 0;
}
