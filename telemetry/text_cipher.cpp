#include "telemetry/text_cipher.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/text_convert.h"
#include "telemetry/des.h"

namespace {

// The texts of the frame are handled in buffers of this many bytes, with
// room for a terminating zero.
constexpr size_t kFrameBuffer = 1024;
// A deciphered frame may announce at most this many bytes (prefix included).
constexpr size_t kMaxDecodedFrame = 256;

const char kCipherKeyHex[] = "5E0B7C2A91D4F6380A6C1B9E47D2F05C";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes pairs of digits; an odd last digit is ignored. False on a non-hex
// character among the digits used.
bool DecodeHex(const std::string& digits, std::vector<uint8_t>& bytes) {
  bytes.clear();
  bytes.reserve(digits.size() / 2);
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    int hi = HexValue(digits[i]);
    int lo = HexValue(digits[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

std::string EncodeHex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

// The key, decoded from its digits the first time the cipher is used; the
// initialisation of a function-local static is safe under concurrent first use.
const TripleDes2& Cipher() {
  static const TripleDes2 cipher = [] {
    std::vector<uint8_t> key;
    DecodeHex(kCipherKeyHex, key);
    return TripleDes2(key.data());
  }();
  return cipher;
}

}  // namespace

std::wstring EncryptText(const std::wstring& text, unsigned codePage) {
  const TripleDes2& cipher = Cipher();
  std::string narrow = WideToCodePage(text, codePage);
  std::string hex = EncodeHex(reinterpret_cast<const uint8_t*>(narrow.data()), narrow.size());
  size_t length = hex.size();
  if (length + 3 >= kFrameBuffer - 4) return {};
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%03x", static_cast<unsigned>(length));
  std::string frame = prefix + hex;
  size_t padding = 16 - (length + 3) % 16;
  if (length + 3 + padding >= kFrameBuffer) return {};
  frame.append(padding, 'F');

  std::vector<uint8_t> bytes;
  DecodeHex(frame, bytes);
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) cipher.EncryptBlock(&bytes[at], &bytes[at]);
  return CodePageToWide(EncodeHex(bytes.data(), bytes.size()), codePage);
}

std::wstring DecryptText(const std::wstring& text, unsigned codePage) {
  const TripleDes2& cipher = Cipher();
  std::string digits = WideToCodePage(text, codePage);
  if (digits.size() >= kFrameBuffer) return {};
  std::vector<uint8_t> bytes;
  if (!DecodeHex(digits, bytes)) return {};
  // Whole blocks only; a trailing partial block was never enciphered.
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) cipher.DecryptBlock(&bytes[at], &bytes[at]);
  if (bytes.size() < 2) return {};

  size_t length = static_cast<size_t>(bytes[0]) << 4 | bytes[1] >> 4;
  size_t frameBytes = (length + 4) / 2;
  if (frameBytes > kMaxDecodedFrame || frameBytes > bytes.size()) return {};
  std::string frame = EncodeHex(bytes.data(), frameBytes);
  std::vector<uint8_t> plain;
  DecodeHex(frame.substr(3, length), plain);
  std::string result(plain.begin(), plain.end());
  result.resize(result.find('\0') == std::string::npos ? result.size() : result.find('\0'));
  return CodePageToWide(result, codePage);
}
