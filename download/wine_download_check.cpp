// Windows check of the downloader under Wine: downloads a URL served by a
// local server and compares the result with the reference file byte for byte.
// Usage: wine_download_check URL TARGET REFERENCE
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/debug_output.h"
#include "base/manual_reset_event.h"
#include "base/text_convert.h"
#include "download/downloader.h"

namespace {
class Delegate : public Downloader::Delegate {
 public:
  void OnProgress(const DownloadProgress&) override {}
  void OnError(int code) override {
    error = code;
    done.Set();
  }
  void OnComplete() override {
    complete = true;
    done.Set();
  }
  std::atomic<int> error{0};
  std::atomic<bool> complete{false};
  ManualResetEvent done;
};

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wine_download_check URL TARGET REFERENCE\n");
    return 2;
  }
  int splits = 0, resumed = 0;
  SetDebugSink([&](const std::string& line) {
    std::printf("%s\n", line.c_str());
    if (line.rfind("KVDown: attempt 1 ended with 18", 0) == 0) ++resumed;
    if (line.rfind("KVDown:down_type 1", 0) == 0) ++splits;
  });
  Delegate delegate;
  bool started = false, finished = false;
  {
    Downloader downloader(WideToAnsi(argv[1]), argv[2], &delegate, 5);
    started = downloader.Start();
    finished = started && delegate.done.WaitFor(std::chrono::seconds(120));
  }
  SetDebugSink(nullptr);
  const std::string copy = ReadAll(argv[2]);
  const std::string reference = ReadAll(argv[3]);
  const bool same = !reference.empty() && copy == reference;
  std::printf("started %d finished %d complete %d error %d segmented %d resumed %d bytes %u of %u same %d\n",
              started, finished, delegate.complete.load(), delegate.error.load(), splits, resumed,
              static_cast<unsigned>(copy.size()), static_cast<unsigned>(reference.size()), same);
  const bool ok = started && finished && delegate.complete && same && splits == 1 && resumed >= 1;
  std::printf("%d passed, %d failed\n", ok ? 1 : 0, ok ? 0 : 1);
  return ok ? 0 : 1;
}
