// Replays fuzz corpora without libFuzzer: every regular file of the folders
// named on the command line goes once through the target's
// LLVMFuzzerTestOneInput (the empty input too), as the fuzzer would feed it.
// The sanitizer builds report what the fuzzer would; a violated property
// aborts. Built with any compiler, run as an ordinary test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  if (files.empty()) {
    std::fprintf(stderr, "no corpus files in the folders given\n");
    return 1;
  }
  std::sort(files.begin(), files.end());
  const uint8_t none = 0;
  LLVMFuzzerTestOneInput(&none, 0);
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", path.filename().c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu corpus files replayed\n", files.size());
  return 0;
}
