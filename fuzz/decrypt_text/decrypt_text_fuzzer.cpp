// libFuzzer target: DecryptText on arbitrary input, read as UTF-8 text (what a
// tampered registry value turns into) and, for odd-sized inputs, as raw wide
// characters as well. Built by fuzz/run.sh with clang.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/text_convert.h"
#include "telemetry/text_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string narrow(reinterpret_cast<const char*>(data), size);
  std::wstring plain = DecryptText(Utf8ToWide(narrow), 65001);
  if (plain.size() > 256) __builtin_trap();  // never more than the frame allows

  std::wstring wide(size / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(&wide[0], data, wide.size() * sizeof(wchar_t));
  DecryptText(wide, 65001);
  return 0;
}
