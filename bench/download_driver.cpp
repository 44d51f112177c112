// Command-line driver of the download engine for the benchmark.
//   download_driver segmented URL TARGET   the segmented Downloader
//   download_driver single URL TARGET      one stream through HttpClient
// Prints "connections=N" and exits 0 when the file arrived.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/manual_reset_event.h"
#include "base/text_convert.h"
#include "download/downloader.h"
#include "net/http_client.h"

namespace {
class Waiter : public Downloader::Delegate {
 public:
  void OnProgress(double, double, double) override {}
  void OnError(int code) override {
    error = code;
    done.Set();
  }
  void OnComplete() override { done.Set(); }
  std::atomic<int> error{0};
  ManualResetEvent done;
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "segmented") != 0 && std::strcmp(argv[1], "single") != 0)) {
    std::fprintf(stderr, "usage: download_driver segmented|single URL TARGET\n");
    return 2;
  }
  const std::string url = argv[2], target = argv[3];
  if (std::strcmp(argv[1], "single") == 0) {
    FILE* file = std::fopen(target.c_str(), "wb");
    if (!file) return 1;
    HttpClient client;
    std::string response;
    const int r = client.Get(url, "", response, file, 3600);
    std::fclose(file);
    std::printf("connections=1\n");
    if (r != 200) std::fprintf(stderr, "result %d %s", r, response.c_str());
    return r == 200 ? 0 : 1;
  }
  Waiter waiter;
  Downloader downloader(url, Utf8ToWide(target), &waiter);
  std::printf("connections=%d\n", downloader.ThreadCount());
  if (!downloader.Start()) return 1;
  waiter.done.Wait();
  if (waiter.error) std::fprintf(stderr, "error %d\n", waiter.error.load());
  return waiter.error ? 1 : 0;
}
