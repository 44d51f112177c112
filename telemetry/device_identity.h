// The texts that identify this machine to the vendor's services. All of them
// may be called from any thread.
#pragma once
#include <cstddef>
#include <string>

// The 12-character device identifier (upper-case hex for every identifier
// this program makes). Reads the enciphered cache "assssr_addr" under
// HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion\Quorvanebala" on every call
// and rebuilds and rewrites it when it does not decipher to 12 characters.
// When `buffer` is given, also copies the identifier there with a terminating
// zero, cut to `capacity` - 1 bytes at a character boundary (13 bytes always
// hold an identifier this program made).
std::string GetDeviceId(char* buffer = nullptr, size_t capacity = 0);

// "windows" + the Windows Desktop Search version (when present) + "x64" for a
// 32-bit process on 64-bit Windows, "x86" otherwise; ANSI code page.
std::string GetOsDescription();

// The processor brand text (cpuid leaves 0x80000002..4, untrimmed), read once
// per process. Empty where the processor offers none.
std::string GetCpuBrand();
