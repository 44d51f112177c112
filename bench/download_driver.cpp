// Command-line driver of the download engine for the benchmark.
//   download_driver segmented URL TARGET   the segmented Downloader
//   download_driver single URL TARGET      one stream through HttpClient
//   download_driver package TARGET [--rank] DOMAINS_FILE
//       the package download with failover over the domains listed in
//       DOMAINS_FILE (one base URL a line); with --rank, ranked first by
//       the throughput probe as the stub ranks them
// Prints "connections=N" (package: "attempts=N" and "ranked=N") and exits 0
// when the file arrived.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/manual_reset_event.h"
#include "base/text_convert.h"
#include "download/downloader.h"
#include "download/package_download.h"
#include "net/http_client.h"
#include "net/throughput_ranking.h"

namespace {
class Waiter : public Downloader::Delegate {
 public:
  void OnProgress(const DownloadProgress&) override {}
  void OnError(int code) override {
    error = code;
    done.Set();
  }
  void OnComplete() override { done.Set(); }
  std::atomic<int> error{0};
  ManualResetEvent done;
};
}  // namespace

int Package(int argc, char** argv) {
  const bool rank = argc == 5 && std::strcmp(argv[3], "--rank") == 0;
  if (argc != (rank ? 5 : 4)) return 2;
  std::FILE* list = std::fopen(argv[argc - 1], "r");
  if (!list) return 2;
  DomainList domains;
  char line[512];
  while (std::fgets(line, sizeof line, list)) {
    std::string domain = line;
    while (!domain.empty() && (domain.back() == '\n' || domain.back() == '\r')) domain.pop_back();
    if (!domain.empty()) domains.push_back(domain);
  }
  std::fclose(list);
  RankedDomains ranked;
  if (rank) {
    ranked = CheckThroughputAndSortDomains(domains, kPackagePath, 2, TransferPolicy());
  } else {
    for (const std::string& d : domains) ranked.push_back({d, SpeedSample()});
  }
  const std::wstring target = Utf8ToWide(argv[2]);
  PackageDownload download;
  const bool ok = download.DownloadPackage(ranked, target);
  download.StopDownload();
#if __has_include("download/resume_record.h")
  // As the stub does after a failed download (the bench also builds this
  // driver against an earlier library, which removed the part instead).
  if (!ok) download.SetAsidePartial(target);
#endif
  std::printf("attempts=%zu\nranked=%zu\n", download.AttemptStats().attempts.size(), ranked.size());
  return ok ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "package") == 0) return Package(argc, argv);
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
