// The DES block cipher and its two-key Triple DES form (encrypt with K1,
// decrypt with K2, encrypt with K1), one 8-byte block at a time.
//
// Bits are numbered from the most significant bit of the first byte, so a
// block or key is handled as a big-endian 64-bit number. The parity bits of a
// key byte (its lowest bit) are ignored. Objects are immutable after
// construction and may be shared between threads.
#pragma once
#include <cstdint>

class Des {
 public:
  explicit Des(const uint8_t key[8]);
  uint64_t Encrypt(uint64_t block) const { return Crypt(block, false); }
  uint64_t Decrypt(uint64_t block) const { return Crypt(block, true); }

 private:
  uint64_t Crypt(uint64_t block, bool decrypt) const;
  uint64_t subkeys_[16];  // 48 bits each, in the low bits
};

// Two-key Triple DES in the encrypt-decrypt-encrypt order.
class TripleDes2 {
 public:
  // `key`: 16 bytes, K1 = bytes 0..7, K2 = bytes 8..15.
  explicit TripleDes2(const uint8_t key[16]);
  void EncryptBlock(const uint8_t in[8], uint8_t out[8]) const;
  void DecryptBlock(const uint8_t in[8], uint8_t out[8]) const;

 private:
  Des k1_;
  Des k2_;
};
