// Runs every file of the DecryptText fuzzing corpus through DecryptText, the
// way the fuzzer feeds it; the sanitizer builds report any stray access.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text_convert.h"
#include "telemetry/text_cipher.h"

namespace {

TEST(DecryptCorpus, EveryInputIsHandledWithinBounds) {
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QV_DECRYPT_CORPUS)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring plain = DecryptText(Utf8ToWide(data), 65001);
    EXPECT_LE(plain.size(), 256u) << entry.path();
    std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
    if (!wide.empty()) std::memcpy(&wide[0], data.data(), wide.size() * sizeof(wchar_t));
    EXPECT_LE(DecryptText(wide, 65001).size(), 256u) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0u) << "no corpus in " << QV_DECRYPT_CORPUS;
}

}  // namespace
