// Our DES and two-key Triple DES against OpenSSL's, block by block.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <string>
#include <vector>

#include "base/text_convert.h"
#include "telemetry/des.h"
#include "telemetry/text_cipher.h"

namespace {

class OpenSslDes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Single DES lives in the legacy provider of OpenSSL 3.
    legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
    default_ = OSSL_PROVIDER_load(nullptr, "default");
  }
  static void TearDownTestSuite() {
    if (legacy_) OSSL_PROVIDER_unload(legacy_);
    if (default_) OSSL_PROVIDER_unload(default_);
  }

  // ECB without padding over `data` (a multiple of 8 bytes).
  static std::vector<uint8_t> Crypt(const char* cipherName, const uint8_t* key,
                                    const std::vector<uint8_t>& data, bool encrypt) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, cipherName, nullptr);
    EXPECT_NE(cipher, nullptr) << cipherName;
    std::vector<uint8_t> out(data.size() + 16);
    int n = 0, tail = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (cipher && ctx && EVP_CipherInit_ex2(ctx, cipher, key, nullptr, encrypt ? 1 : 0, nullptr) == 1) {
      EVP_CIPHER_CTX_set_padding(ctx, 0);
      EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size()));
      EVP_CipherFinal_ex(ctx, out.data() + n, &tail);
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    out.resize(n + tail);
    return out;
  }

  static OSSL_PROVIDER* legacy_;
  static OSSL_PROVIDER* default_;
};
OSSL_PROVIDER* OpenSslDes::legacy_ = nullptr;
OSSL_PROVIDER* OpenSslDes::default_ = nullptr;

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST_F(OpenSslDes, SingleDesAgreesOnRandomKeysAndBlocks) {
  ASSERT_NE(legacy_, nullptr) << "OpenSSL legacy provider not available";
  std::mt19937 rng(46);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> key = RandomBytes(rng, 8);
    std::vector<uint8_t> data = RandomBytes(rng, 8 * 16);
    std::vector<uint8_t> expected = Crypt("DES-ECB", key.data(), data, true);
    ASSERT_EQ(expected.size(), data.size());
    Des des(key.data());
    for (size_t at = 0; at < data.size(); at += 8) {
      uint64_t block = 0, want = 0;
      for (int i = 0; i < 8; ++i) {
        block = block << 8 | data[at + i];
        want = want << 8 | expected[at + i];
      }
      ASSERT_EQ(des.Encrypt(block), want) << "round " << round << " block " << at / 8;
      ASSERT_EQ(des.Decrypt(want), block) << "round " << round << " block " << at / 8;
    }
  }
}

TEST_F(OpenSslDes, TwoKeyTripleDesAgreesOnRandomKeysAndBlocks) {
  std::mt19937 rng(463);
  std::vector<std::vector<uint8_t>> keys;
  for (int i = 0; i < 200; ++i) keys.push_back(RandomBytes(rng, 16));
  // The key of the identifier cache as well.
  keys.push_back(
      {0x5E, 0x0B, 0x7C, 0x2A, 0x91, 0xD4, 0xF6, 0x38, 0x0A, 0x6C, 0x1B, 0x9E, 0x47, 0xD2, 0xF0, 0x5C});
  for (size_t k = 0; k < keys.size(); ++k) {
    std::vector<uint8_t> data = RandomBytes(rng, 8 * 16);
    std::vector<uint8_t> expected = Crypt("DES-EDE-ECB", keys[k].data(), data, true);
    ASSERT_EQ(expected.size(), data.size());
    TripleDes2 cipher(keys[k].data());
    for (size_t at = 0; at < data.size(); at += 8) {
      uint8_t out[8], back[8];
      cipher.EncryptBlock(&data[at], out);
      ASSERT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(&expected[at], &expected[at] + 8))
          << "key " << k << " block " << at / 8;
      cipher.DecryptBlock(out, back);
      ASSERT_EQ(std::vector<uint8_t>(back, back + 8), std::vector<uint8_t>(&data[at], &data[at] + 8))
          << "key " << k << " block " << at / 8;
    }
  }
}

// EncryptText's output deciphered by OpenSSL gives the frame: three digits of
// length, the text's hexadecimal form, "F" padding.
TEST_F(OpenSslDes, EncryptTextDecipheredByOpenSslShowsTheFrame) {
  const uint8_t key[16] = {0x5E, 0x0B, 0x7C, 0x2A, 0x91, 0xD4, 0xF6, 0x38,
                           0x0A, 0x6C, 0x1B, 0x9E, 0x47, 0xD2, 0xF0, 0x5C};
  struct Case {
    std::wstring text;
    std::string frame;
  };
  const Case cases[] = {
      {L"0A1B2C3D4E5F", "018304131423243334434453546FFFFF"},
      {L"hello", "00a68656C6C6FFFF"},
      {L"\u00fc", "004C3BCFFFFFFFFF"},
  };
  for (const Case& c : cases) {
    std::string cipherHex = WideToUtf8(EncryptText(c.text, 65001));
    std::vector<uint8_t> data;
    for (size_t i = 0; i + 1 < cipherHex.size(); i += 2)
      data.push_back(static_cast<uint8_t>(std::stoi(cipherHex.substr(i, 2), nullptr, 16)));
    std::vector<uint8_t> plain = Crypt("DES-EDE-ECB", key, data, false);
    std::string frame;
    char digits[3];
    for (uint8_t b : plain) {
      std::snprintf(digits, sizeof digits, "%02X", b);
      frame += digits;
    }
    // The length digits are written in lower case and read back as bytes.
    std::string expected = c.frame;
    for (char& ch : expected) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(frame, expected) << WideToUtf8(c.text);
  }
}

}  // namespace
