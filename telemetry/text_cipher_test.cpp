#include "telemetry/text_cipher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/text_convert.h"
#include "telemetry/des.h"

namespace {

constexpr unsigned kUtf8 = 65001;
const uint8_t kKey[16] = {0x5E, 0x0B, 0x7C, 0x2A, 0x91, 0xD4, 0xF6, 0x38,
                          0x0A, 0x6C, 0x1B, 0x9E, 0x47, 0xD2, 0xF0, 0x5C};

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

// Enciphers a hand-made frame (hex digits, a multiple of 16) with the cache key.
std::wstring Seal(const std::string& frameHex) {
  std::vector<uint8_t> bytes = FromHex(frameHex);
  TripleDes2 cipher(kKey);
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) cipher.EncryptBlock(&bytes[at], &bytes[at]);
  return Utf8ToWide(ToHex(bytes));
}

// The frame inside a ciphertext, deciphered with the cache key.
std::string Open(const std::wstring& cipherText) {
  std::vector<uint8_t> bytes = FromHex(WideToUtf8(cipherText));
  TripleDes2 cipher(kKey);
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) cipher.DecryptBlock(&bytes[at], &bytes[at]);
  return ToHex(bytes);
}

// Eight threads encipher at once; prints whether they agreed and returns the
// exit code of the process it runs in.
int ConcurrentFirstUse() {
  const std::wstring id = L"3C7A91D0E2F4";
  std::vector<std::wstring> results(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back([&, i] { results[i] = EncryptText(id, kUtf8); });
  for (auto& t : threads) t.join();
  bool same = true;
  for (const auto& r : results) same = same && r == results[0];
  const bool back = DecryptText(results[0], kUtf8) == id;
  std::fprintf(stderr, "same=%d back=%d\n", same, back);
  return same && back ? 0 : 1;
}

// The key is derived by whichever thread comes first (the thread sanitizer
// build checks the one-time derivation). The threads run in a fresh process
// of this binary, so the first use is theirs whatever ran before.
TEST(TextCipher, ConcurrentFirstUseGivesTheSameResult) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(ConcurrentFirstUse()), ::testing::ExitedWithCode(0), "same=1 back=1");
}

TEST(TextCipher, FrameAndLengthByTextLength) {
  struct Case {
    std::wstring text;
    size_t digits;
    std::string frame;  // upper-cased, as the bytes come back
  };
  const Case cases[] = {
      {L"abcde", 16, "00A6162636465FFF"},
      {L"abcdef", 16, "00C616263646566F"},
      {L"abcdefg", 32, "00E61626364656667FFFFFFFFFFFFFFF"},
      {L"0A1B2C3D4E5F", 32, "018304131423243334434453546FFFFF"},
      {L"", 16, "000FFFFFFFFFFFFF"},
  };
  for (const Case& c : cases) {
    std::wstring sealed = EncryptText(c.text, kUtf8);
    EXPECT_EQ(sealed.size(), c.digits) << WideToUtf8(c.text);
    EXPECT_EQ(Open(sealed), c.frame) << WideToUtf8(c.text);
    for (wchar_t ch : sealed)
      EXPECT_TRUE((ch >= L'0' && ch <= L'9') || (ch >= L'A' && ch <= L'F')) << WideToUtf8(c.text);
  }
}

TEST(TextCipher, RoundTrips) {
  const std::wstring cases[] = {
      L"",
      L"A",
      L"0A1B2C3D4E5F",
      L"\u00fcber",
      L"\u4e2d\u6587\u540d\u5b57",
      L"tab\there",
      std::wstring(254, L'x'),  // the longest text that comes back
  };
  for (const auto& text : cases) {
    std::wstring sealed = EncryptText(text, kUtf8);
    ASSERT_FALSE(sealed.empty()) << WideToUtf8(text);
    EXPECT_EQ(DecryptText(sealed, kUtf8), text) << WideToUtf8(text);
    // Hex digits are accepted in either case.
    std::wstring lower = sealed;
    for (auto& ch : lower) ch = static_cast<wchar_t>(std::tolower(ch));
    EXPECT_EQ(DecryptText(lower, kUtf8), text) << WideToUtf8(text);
  }
}

TEST(TextCipher, LengthLimits) {
  struct Case {
    const char* name;
    size_t bytes;
    bool encrypts;
    bool decryptsBack;
  };
  const Case cases[] = {
      {"254 bytes", 254, true, true},
      {"255 bytes: frame longer than the decipher side takes", 255, true, false},
      {"502 bytes: largest frame that fits", 502, true, false},
      {"503 bytes: padded frame too long", 503, false, false},
      {"509 bytes: frame too long before padding", 509, false, false},
  };
  for (const Case& c : cases) {
    std::wstring text(c.bytes, L'q');
    std::wstring sealed = EncryptText(text, kUtf8);
    EXPECT_EQ(!sealed.empty(), c.encrypts) << c.name;
    if (c.encrypts) {
      EXPECT_EQ(sealed.size() % 16, 0u) << c.name;
      EXPECT_EQ(DecryptText(sealed, kUtf8), c.decryptsBack ? text : L"") << c.name;
    }
  }
}

TEST(TextCipher, DecryptOfAnythingStaysInsideItsBuffers) {
  std::wstring valid = EncryptText(L"0A1B2C3D4E5F", kUtf8);
  struct Case {
    const char* name;
    std::wstring text;
    std::wstring expected;
  };
  const Case cases[] = {
      {"empty", L"", L""},
      {"one digit", L"A", L""},
      {"one byte", L"AB", L""},
      {"odd number of digits: last ignored", valid + L"7", L"0A1B2C3D4E5F"},
      {"trailing partial block left alone", valid + L"ABCD", L"0A1B2C3D4E5F"},
      {"non-hex character", L"ZZ" + valid.substr(2), L""},
      {"blank inside", valid.substr(0, 10) + L" " + valid.substr(11), L""},
      {"non-ASCII", L"\u00e4\u00f6" + valid, L""},
      {"huge", std::wstring(100000, L'A'), L""},
      {"frame buffer full", std::wstring(1024, L'0'), L""},
      {"prefix FFF far above 256", Seal("FFF0000000000000"), L""},
      {"prefix larger than the data", Seal("1F0414243FFFFFFF"), L""},
      {"prefix one byte past the data",
       Seal("00E41424344454647"
            "FFFFFFFFFFFFFFF")
           .substr(0, 16),
       L""},
      {"prefix exactly the data", Seal("00C414243444546F"), L"ABCDEF"},
      {"zero byte ends the text", Seal("006410042FFFFFFF"), L"A"},
      {"odd length prefix", Seal("0054142FFFFFFFFF"), L"AB"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecryptText(c.text, kUtf8), c.expected) << c.name;
}

}  // namespace
