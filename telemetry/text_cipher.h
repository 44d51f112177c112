// The cipher of the device-identifier cache: two-key Triple DES in ECB over a
// hexadecimal frame, with a key built into the program.
//
// Both functions convert the UTF-16 text to `codePage` first (every caller
// passes 65001, UTF-8) and convert the result back from it. On failure the
// result is the empty text. Safe from any thread; the key is derived once per
// process on first use.
#pragma once
#include <string>

// The text enciphered, as upper-case hexadecimal digits (a multiple of 16).
// Fails when the text's hexadecimal form would not fit the 1024-byte frame
// (more than 502 bytes in the code page).
std::wstring EncryptText(const std::wstring& text, unsigned codePage);

// The inverse of EncryptText. Accepts anything: text that is not hexadecimal,
// too long for the 1024-byte frame, or whose length prefix claims more than it
// holds yields the empty text; other text not made by EncryptText deciphers to
// some arbitrary short text. Never reads or writes outside its own buffers.
std::wstring DecryptText(const std::wstring& text, unsigned codePage);
