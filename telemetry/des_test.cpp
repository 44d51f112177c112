#include "telemetry/des.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

uint64_t Hex64(const char* text) { return std::stoull(text, nullptr, 16); }

void ToBytes(uint64_t v, uint8_t out[8]) {
  for (int i = 7; i >= 0; --i, v >>= 8) out[i] = static_cast<uint8_t>(v);
}

uint64_t FromBytes(const uint8_t b[8]) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | b[i];
  return v;
}

// Known answers of FIPS 46 / FIPS 81 and of the NIST DES validation tests
// (variable plaintext, variable key, permutation and substitution tables).
struct KnownAnswer {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
};
const KnownAnswer kKnownAnswers[] = {
    {"textbook", "133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"now is t", "0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"variable plaintext bit 1", "0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"variable plaintext bit 2", "0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"variable plaintext bit 3", "0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"variable key bit 1", "8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"variable key bit 2", "4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
    {"permutation", "1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
    {"substitution", "7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
};

TEST(Des, KnownAnswers) {
  for (const KnownAnswer& c : kKnownAnswers) {
    uint8_t key[8];
    ToBytes(Hex64(c.key), key);
    Des des(key);
    EXPECT_EQ(des.Encrypt(Hex64(c.plain)), Hex64(c.cipher)) << c.name;
    EXPECT_EQ(des.Decrypt(Hex64(c.cipher)), Hex64(c.plain)) << c.name;
  }
}

TEST(Des, ParityBitsAreIgnored) {
  uint8_t key[8], flipped[8];
  ToBytes(Hex64("133457799BBCDFF1"), key);
  for (int i = 0; i < 8; ++i) flipped[i] = key[i] ^ 1;
  EXPECT_EQ(Des(key).Encrypt(0x0123456789ABCDEFull), Des(flipped).Encrypt(0x0123456789ABCDEFull));
}

// With K1 = K2 the encrypt-decrypt-encrypt chain is single DES, which ties the
// triple form to the known answers above.
TEST(TripleDes2, EqualHalvesAreSingleDes) {
  for (const KnownAnswer& c : kKnownAnswers) {
    uint8_t key[16], in[8], out[8], back[8];
    ToBytes(Hex64(c.key), key);
    ToBytes(Hex64(c.key), key + 8);
    ToBytes(Hex64(c.plain), in);
    TripleDes2 cipher(key);
    cipher.EncryptBlock(in, out);
    EXPECT_EQ(FromBytes(out), Hex64(c.cipher)) << c.name;
    cipher.DecryptBlock(out, back);
    EXPECT_EQ(FromBytes(back), Hex64(c.plain)) << c.name;
  }
}

TEST(TripleDes2, InPlaceRoundTripWithDistinctHalves) {
  uint8_t key[16];
  for (int i = 0; i < 16; ++i) key[i] = static_cast<uint8_t>(i * 37 + 11);
  TripleDes2 cipher(key);
  uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint64_t original = FromBytes(block);
  cipher.EncryptBlock(block, block);
  EXPECT_NE(FromBytes(block), original);
  cipher.DecryptBlock(block, block);
  EXPECT_EQ(FromBytes(block), original);
}

}  // namespace
