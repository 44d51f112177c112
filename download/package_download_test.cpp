#include "download/package_download.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <mutex>

#include "base/debug_output.h"
#include "testing/servers/test_file_server.h"
#include "ui/text_table.h"

namespace {
constexpr int64_t MiB = 1024 * 1024;

// The tests' own controller: records the time limit of every single-stream
// attempt and every progress report, on top of the host's own behaviour.
class TestHost : public PackageDownloadHost {
 public:
  TestHost() {
    timeLimits = {{1, 2, 3}};
    lowSpeedSeconds = 1;
  }
  ~TestHost() override { StopDownload(); }
  int DownloadOnce(const std::string& url, const std::string& targetPath, long timeLimit,
                   AttemptResult& result) override {
    limitsUsed.push_back(timeLimit);
    return PackageDownloadHost::DownloadOnce(url, targetPath, timeLimit, result);
  }
  void OnProgress(double downloaded, double total, double speed) override {
    PackageDownloadHost::OnProgress(downloaded, total, speed);
    ++progressReports;
  }
  std::vector<long> limitsUsed;
  std::atomic<int> progressReports{0};
};

std::string Domain(const TestFileServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.port());
}
std::string RefusingDomain() { return "http://127.0.0.1:" + std::to_string(UnusedPort()); }
std::wstring FailedText(int result) {
  return GetText(L"tt_downstatus_failed") + L" " + std::to_wstring(result);
}

class PackageDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv-package-XXXXXX";
    dir = mkdtemp(pattern);
    target = dir + "/ChannelIstaller.exe";
    SetDebugSink([this](const std::string& line) {
      std::lock_guard<std::mutex> guard(logLock);
      log.push_back(line);
    });
  }
  void TearDown() override {
    SetDebugSink(nullptr);
    const std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
  }
  std::unique_ptr<TestFileServer> Serve(const std::string& content) {
    auto server = std::make_unique<TestFileServer>(content);
    server->path = kPackagePath;
    return server;
  }
  void ExpectTargetIs(const std::string& content) {
    bool ok = false;
    const std::string copy = ReadWholeFile(target, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(copy.size(), content.size());
    EXPECT_EQ(HashBytes(copy), HashBytes(content));
  }
  int CountLines(const std::string& prefix) {
    std::lock_guard<std::mutex> guard(logLock);
    int n = 0;
    for (const std::string& line : log) n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
  }

  std::string dir, target;
  std::mutex logLock;
  std::vector<std::string> log;
};
}  // namespace

TEST(AttemptId, IsThirtyTwoUpperCaseHexDigitsAndFresh) {
  const std::string a = MakeAttemptId(), b = MakeAttemptId();
  ASSERT_EQ(a.size(), 32u);
  for (char c : a) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << a;
  EXPECT_NE(a, b);
  PackageDownloadHost host;
  EXPECT_EQ(host.attemptStats.attemptId.size(), 32u);
  EXPECT_TRUE(host.attemptStats.attempts.empty());
  EXPECT_EQ(host.timeLimits, (std::array<long, 3>{{60, 120, 180}}));
}

TEST(CdnErrorText, IsLibcurlsTextForTheResult) {
  EXPECT_EQ(CdnErrorMessage(7), "curl_easy_perform() failed:Couldn't connect to server\n");
  EXPECT_EQ(CdnErrorMessage(0), "curl_easy_perform() failed:No error\n");
  EXPECT_EQ(CdnErrorMessage(28), "curl_easy_perform() failed:Timeout was reached\n");
  EXPECT_EQ(CdnErrorMessage(404), "curl_easy_perform() failed:Unknown error\n");
}

TEST_F(PackageDownloadTest, ThirdDomainAnswersAfterTwoRefuse) {
  const std::string content = MakeContent(3 * MiB, 21);
  auto server = Serve(content);
  const DomainList domains = {RefusingDomain(), RefusingDomain(), Domain(*server)};
  SpeedSamples samples;
  samples[domains[0]].connectMs = 12;
  samples[domains[2]].connectMs = 34;
  TestHost host;
  ASSERT_TRUE(host.DownloadPackage(domains, samples, target));
  ExpectTargetIs(content);
  EXPECT_EQ(host.limitsUsed, (std::vector<long>{1, 2, 3}));
  const auto& attempts = host.attemptStats.attempts;
  ASSERT_EQ(attempts.size(), 3u);
  struct Expected {
    int rtt;
    std::string message;
    int64_t bytes;
  };
  const Expected expected[] = {{12, CdnErrorMessage(7), 0}, {0, CdnErrorMessage(7), 0}, {34, "", 3 * MiB}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(attempts[i].selectedCdn, domains[i]) << "attempt " << i;
    EXPECT_EQ(attempts[i].rttSpeedMs, expected[i].rtt) << "attempt " << i;
    EXPECT_EQ(attempts[i].cdnErrorMsg, expected[i].message) << "attempt " << i;
    EXPECT_EQ(attempts[i].downloadByte, expected[i].bytes) << "attempt " << i;
  }
  // The text of the last failed attempt stays for a later failure to show.
  EXPECT_EQ(host.statusText, FailedText(7));
  EXPECT_FALSE(host.downloader);
}

TEST_F(PackageDownloadTest, FirstOfTwoDomainsTimesOutWithoutFallback) {
  const std::string content = MakeContent(2 * MiB, 22);
  auto slow = Serve(content);
  TestFileServer::Fault stall;
  stall.kind = TestFileServer::FaultKind::Stall;
  stall.bytes = 1000;
  stall.times = -1;
  slow->AddFault(stall);
  auto good = Serve(content);
  TestHost host;
  ASSERT_TRUE(host.DownloadPackage({Domain(*slow), Domain(*good)}, {}, target));
  ExpectTargetIs(content);
  EXPECT_EQ(host.limitsUsed, (std::vector<long>{1, 2}));
  ASSERT_EQ(host.attemptStats.attempts.size(), 2u);
  EXPECT_EQ(host.attemptStats.attempts[0].cdnErrorMsg, CdnErrorMessage(28));
  EXPECT_EQ(host.attemptStats.attempts[0].downloadByte, 1000);
  EXPECT_EQ(host.attemptStats.attempts[1].cdnErrorMsg, "");
  EXPECT_EQ(slow->CountRequests("HEAD"), 0)
      << "the segmented fallback ran for an attempt that was not the last";
  EXPECT_FALSE(host.downloader);
}

TEST_F(PackageDownloadTest, TargetThatCannotBeOpenedIsRecordedAsResultZero) {
  auto server = Serve(MakeContent(1000));
  TestHost host;
  const std::string badTarget = dir + "/no/such/folder/ChannelIstaller.exe";
  EXPECT_FALSE(host.DownloadPackage({Domain(*server), Domain(*server)}, {}, badTarget));
  ASSERT_EQ(host.attemptStats.attempts.size(), 2u);
  for (const CdnAttempt& a : host.attemptStats.attempts) {
    EXPECT_EQ(a.downloadByte, 0);
    EXPECT_EQ(a.timeConnectMs, 0);
    EXPECT_EQ(a.cdnErrorMsg, CdnErrorMessage(0));
  }
  EXPECT_EQ(host.statusText, FailedText(0));
  EXPECT_EQ(CountLines("fopen file  fialed :" + badTarget), 2);
  EXPECT_EQ(server->CountRequests("GET"), 0);
}

TEST_F(PackageDownloadTest, OneDomainWithoutSampleHasRttZero) {
  const std::string content = MakeContent(1 * MiB + 17, 23);
  auto server = Serve(content);
  SpeedSamples samples;
  samples["http://elsewhere.invalid"].connectMs = 99;
  TestHost host;
  ASSERT_TRUE(host.DownloadPackage({Domain(*server)}, samples, target));
  ExpectTargetIs(content);
  ASSERT_EQ(host.attemptStats.attempts.size(), 1u);
  EXPECT_EQ(host.attemptStats.attempts[0].rttSpeedMs, 0);
  EXPECT_EQ(host.attemptStats.attempts[0].downloadByte, 1 * MiB + 17);
  EXPECT_GE(host.attemptStats.attempts[0].timeConnectMs, 0);
  EXPECT_TRUE(host.statusText.empty());
}

TEST_F(PackageDownloadTest, AtMostThreeDomainsAndNoneForAnEmptyList) {
  TestHost host;
  EXPECT_FALSE(host.DownloadPackage({}, {}, target));
  EXPECT_TRUE(host.attemptStats.attempts.empty());
  const DomainList five = {RefusingDomain(), RefusingDomain(), RefusingDomain(), RefusingDomain(),
                           RefusingDomain()};
  EXPECT_FALSE(host.DownloadPackage(five, {}, target));
  ASSERT_EQ(host.attemptStats.attempts.size(), 3u);
  EXPECT_EQ(host.attemptStats.attempts[2].selectedCdn, five[2]);
}

// The last allowed attempt times out: the segmented downloader gets the same
// URL once more.
TEST_F(PackageDownloadTest, LastAttemptThatTimesOutFallsBackToRanges) {
  using F = TestFileServer::FaultKind;
  struct Case {
    const char* name;
    int stallTimes;          // GETs that stall (-1 every one)
    bool headWithoutLength;  // the fallback cannot start
    int result;              // of the attempt, as recorded
    bool success;
  };
  const Case cases[] = {
      {"fallback completes", 1, false, 200, true},
      {"fallback stalls too", -1, false, 28, false},
      {"fallback cannot start", 1, true, kFallbackNotStarted, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string content = MakeContent(12 * MiB + 1, 24);
    auto server = Serve(content);
    TestFileServer::Fault stall;
    stall.kind = F::Stall;
    stall.at = c.stallTimes == 1 ? 0 : -1;
    stall.bytes = 4096;
    stall.times = c.stallTimes;
    server->AddFault(stall);
    server->headWithoutLength = c.headWithoutLength;
    TestHost host;
    EXPECT_EQ(host.DownloadPackage({Domain(*server)}, {}, target), c.success);
    ASSERT_EQ(host.attemptStats.attempts.size(), 1u);
    const CdnAttempt& a = host.attemptStats.attempts[0];
    EXPECT_EQ(server->CountRequests("HEAD"), 1);
    if (c.success) {
      ExpectTargetIs(content);
      EXPECT_EQ(a.cdnErrorMsg, "");
      EXPECT_TRUE(host.statusText.empty());
      EXPECT_EQ(a.downloadByte, host.bytesDownloaded.load());
    } else {
      EXPECT_EQ(a.cdnErrorMsg, CdnErrorMessage(c.result));
      EXPECT_EQ(host.statusText, FailedText(c.result));
    }
    EXPECT_EQ(CountLines("second mutidownload failed "), c.result == kFallbackNotStarted ? 1 : 0);
    ASSERT_TRUE(host.downloader || c.result == kFallbackNotStarted);
  }
}
