// Shared by the fuzz targets: a reader that carves typed values out of the
// fuzzer's bytes, and the property check. A failed check aborts, so libFuzzer
// keeps the input as a crash file and the corpus replay test fails.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace fuzz {

// Reads the input front to back; every read past the end yields zeros or
// empty text, so a target never needs to check for the end itself.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ >= size_; }
  size_t Left() const { return size_ - at_; }

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return Byte() & 1; }

  // `bytes` bytes, little endian (at most 8).
  uint64_t Bits(int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(Byte()) << (8 * i);
    return v;
  }
  int64_t Int64() { return static_cast<int64_t>(Bits(8)); }
  double Double() {
    const uint64_t bits = Bits(8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }

  // Up to `n` bytes.
  std::string Bytes(size_t n) {
    const size_t take = n < Left() ? n : Left();
    std::string s(reinterpret_cast<const char*>(data_ + at_), take);
    at_ += take;
    return s;
  }
  // Bytes up to the next '\n' (consumed, not returned), or all that is left.
  std::string Line() {
    std::string s;
    while (at_ < size_ && data_[at_] != '\n') s += static_cast<char>(data_[at_++]);
    if (at_ < size_) ++at_;
    return s;
  }
  std::string Rest() { return Bytes(Left()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// UTF-8 decoded leniently into wide text: a byte that does not start a valid
// sequence stands for itself (U+0080..U+00FF), so every input gives text and
// any character, including NUL and lone surrogates, can be reached.
inline std::wstring Wide(const std::string& s) {
  std::wstring out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
    if (c >= 0xF5) len = 1;
    uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    bool ok = i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      len = 1;
      cp = c;
    }
    out += static_cast<wchar_t>(cp);
    i += len;
  }
  return out;
}

// The input cut at '\n' into lines (the last one without a terminator).
inline std::vector<std::string> Lines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  Reader r(data, size);
  while (!r.Empty()) lines.push_back(r.Line());
  return lines;
}

}  // namespace fuzz
