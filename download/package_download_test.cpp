#include "download/package_download.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <mutex>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "download/download_error.h"
#include "testing/servers/test_file_server.h"

namespace {
constexpr int64_t MiB = 1024 * 1024;

PackageDownloadSettings ShortLimits() {
  PackageDownloadSettings settings;
  settings.timeLimits = {{1, 2, 3}};
  settings.lowSpeedSeconds = 1;
  return settings;
}

// The tests' own download: records the time limit of every single-stream
// attempt and counts the progress reports, on top of the real behaviour.
class TestHost : public PackageDownload {
 public:
  TestHost() : PackageDownload(ShortLimits(), [this](double, double total) {
    if (total > 0) ++progressReports;
  }) {}
  ~TestHost() override { StopDownload(); }
  AttemptOutcome DownloadOnce(const std::string& url, const std::wstring& targetPath, long timeLimit,
                              AttemptResult& result) override {
    limitsUsed.push_back(timeLimit);
    const AttemptOutcome outcome = PackageDownload::DownloadOnce(url, targetPath, timeLimit, result);
    measuredConnectMs.push_back(result.connectMs);
    if (connectMs >= 0) result.connectMs = connectMs;
    return outcome;
  }
  std::vector<long> limitsUsed;
  std::vector<int32_t> measuredConnectMs;  // as the real attempt measured it
  int32_t connectMs = -1;                  // when set, the attempt's connect time as the record must show it
  std::atomic<int> progressReports{0};
};

RankedDomains Ranked(const DomainList& domains) {
  RankedDomains ranked;
  for (const std::string& d : domains) ranked.push_back({d, SpeedSample()});
  return ranked;
}

// The outcome a failed attempt with this wire result stands for, as the
// records and the failure text show it.
int LastFailureWire(const PackageDownload& download) {
  return download.LastFailure() ? WireResult(*download.LastFailure()) : -1;
}

std::string Domain(const TestFileServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.port());
}
std::string RefusingDomain() { return "http://127.0.0.1:" + std::to_string(UnusedPort()); }

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
  PackageDownload host;
  EXPECT_EQ(host.AttemptStats().attemptId.size(), 32u);
  EXPECT_TRUE(host.AttemptStats().attempts.empty());
  EXPECT_EQ(host.Settings().timeLimits, (std::array<long, 3>{{60, 120, 180}}));
  EXPECT_FALSE(host.LastFailure());
}

TEST(AttemptOutcome, HttpResultsAndTheReportsInteger) {
  using E = AttemptEnd;
  const struct {
    int httpResult;  // as HttpClient::Get returns it, or -1 for none
    AttemptOutcome outcome;
    int wire;
  } cases[] = {
      {200, {E::kSuccess, 0}, 200},
      {7, {E::kTransferError, 7}, 7},
      {28, {E::kTransferError, 28}, 28},
      {2, {E::kTransferError, 2}, 2},
      {99, {E::kTransferError, 99}, 99},
      {100, {E::kHttpStatus, 100}, 100},
      {404, {E::kHttpStatus, 404}, 404},
      {-1, {E::kTargetNotOpened, 0}, 0},
      {-1, {E::kFallbackFailed, 0}, 28},
      {-1, {E::kFallbackNotStarted, 0}, 1001},
      {-1, {E::kNotWhole, kLengthMismatchResult}, 1003},
      {-1, {E::kNotWhole, kWriteFailedResult}, 1004},
  };
  for (const auto& c : cases) {
    if (c.httpResult >= 0) {
      EXPECT_EQ(OutcomeOfHttpResult(c.httpResult), c.outcome) << c.httpResult;
    }
    EXPECT_EQ(WireResult(c.outcome), c.wire) << c.wire;
  }
  EXPECT_TRUE(OutcomeOfHttpResult(28).TimedOut());
  EXPECT_FALSE((AttemptOutcome{E::kFallbackFailed, 0}).TimedOut());
  EXPECT_FALSE(OutcomeOfHttpResult(408).TimedOut());
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
  RankedDomains ranked = Ranked(domains);
  ranked[0].sample.connectMs = 12;
  ranked[2].sample.connectMs = 34;
  TestHost host;
  ASSERT_TRUE(host.DownloadPackage(ranked, Utf8ToWide(target)));
  ExpectTargetIs(content);
  EXPECT_EQ(host.limitsUsed, (std::vector<long>{1, 2, 3}));
  const auto& attempts = host.AttemptStats().attempts;
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
  // The last failed attempt stays for a later failure to name.
  EXPECT_EQ(host.LastFailure(), (AttemptOutcome{AttemptEnd::kTransferError, 7}));
  EXPECT_FALSE(host.HoldsFallback());
  EXPECT_GT(host.progressReports, 0);
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
  ASSERT_TRUE(host.DownloadPackage(Ranked({Domain(*slow), Domain(*good)}), Utf8ToWide(target)));
  ExpectTargetIs(content);
  EXPECT_EQ(host.limitsUsed, (std::vector<long>{1, 2}));
  ASSERT_EQ(host.AttemptStats().attempts.size(), 2u);
  EXPECT_EQ(host.AttemptStats().attempts[0].cdnErrorMsg, CdnErrorMessage(28));
  EXPECT_EQ(host.AttemptStats().attempts[0].downloadByte, 1000);
  EXPECT_EQ(host.AttemptStats().attempts[1].cdnErrorMsg, "");
  EXPECT_EQ(slow->CountRequests("HEAD"), 0)
      << "the segmented fallback ran for an attempt that was not the last";
  EXPECT_FALSE(host.HoldsFallback());
}

TEST_F(PackageDownloadTest, TargetThatCannotBeOpenedIsRecordedAsResultZero) {
  auto server = Serve(MakeContent(1000));
  TestHost host;
  const std::string badTarget = dir + "/no/such/folder/ChannelIstaller.exe";
  EXPECT_FALSE(host.DownloadPackage(Ranked({Domain(*server), Domain(*server)}), Utf8ToWide(badTarget)));
  ASSERT_EQ(host.AttemptStats().attempts.size(), 2u);
  for (const CdnAttempt& a : host.AttemptStats().attempts) {
    EXPECT_EQ(a.downloadByte, 0);
    EXPECT_EQ(a.timeConnectMs, 0);
    EXPECT_EQ(a.cdnErrorMsg, CdnErrorMessage(0));
  }
  EXPECT_EQ(host.LastFailure(), (AttemptOutcome{AttemptEnd::kTargetNotOpened, 0}));
  EXPECT_EQ(LastFailureWire(host), 0);
  EXPECT_EQ(CountLines("fopen file  fialed :" + badTarget), 2);
  EXPECT_EQ(server->CountRequests("GET"), 0);
}

TEST_F(PackageDownloadTest, OneDomainWithoutSampleHasRttZero) {
  const std::string content = MakeContent(1 * MiB + 17, 23);
  auto server = Serve(content);
  TestHost host;
  host.connectMs = 321;  // a connect time no local connection takes, to see it travel
  ASSERT_TRUE(host.DownloadPackage(Ranked({Domain(*server)}), Utf8ToWide(target)));
  ExpectTargetIs(content);
  ASSERT_EQ(host.AttemptStats().attempts.size(), 1u);
  EXPECT_EQ(host.AttemptStats().attempts[0].rttSpeedMs, 0);
  EXPECT_EQ(host.AttemptStats().attempts[0].downloadByte, 1 * MiB + 17);
  // The record carries this attempt's connect time, not the probe's.
  EXPECT_EQ(host.AttemptStats().attempts[0].timeConnectMs, 321);
  // The real measurement is a part of the attempt's time.
  ASSERT_EQ(host.measuredConnectMs.size(), 1u);
  EXPECT_LE(host.measuredConnectMs[0], host.AttemptStats().attempts[0].downloadMs);
  EXPECT_FALSE(host.LastFailure());
}

TEST_F(PackageDownloadTest, AtMostThreeDomainsAndNoneForAnEmptyList) {
  TestHost host;
  EXPECT_FALSE(host.DownloadPackage({}, Utf8ToWide(target)));
  EXPECT_TRUE(host.AttemptStats().attempts.empty());
  const DomainList five = {RefusingDomain(), RefusingDomain(), RefusingDomain(), RefusingDomain(),
                           RefusingDomain()};
  EXPECT_FALSE(host.DownloadPackage(Ranked(five), Utf8ToWide(target)));
  ASSERT_EQ(host.AttemptStats().attempts.size(), 3u);
  EXPECT_EQ(host.AttemptStats().attempts[2].selectedCdn, five[2]);
}

// The last allowed attempt times out: the segmented downloader gets the same
// URL once more.
TEST_F(PackageDownloadTest, LastAttemptThatTimesOutFallsBackToRanges) {
  using F = TestFileServer::FaultKind;
  struct Case {
    const char* name;
    int stallTimes;          // GETs that stall (-1 every one)
    bool headWithoutLength;  // the fallback cannot start
    int result;              // of the attempt, as recorded (its wire value)
    bool success;
  };
  const Case cases[] = {
      {"fallback completes", 1, false, 200, true},
      {"fallback stalls too", -1, false, 28, false},
      {"fallback cannot start", 1, true, 1001, false},
      {"fallback's probe refused", 1, false, kProbeStatusResult, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<std::mutex> guard(logLock);
      log.clear();
    }
    const std::string content = MakeContent(12 * MiB + 1, 24);
    auto server = Serve(content);
    TestFileServer::Fault stall;
    stall.kind = F::Stall;
    stall.at = c.stallTimes == 1 ? 0 : -1;
    stall.bytes = 4096;
    stall.times = c.stallTimes;
    server->AddFault(stall);
    server->headWithoutLength = c.headWithoutLength;
    if (c.result == kProbeStatusResult) server->headStatus = 405;
    TestHost host;
    EXPECT_EQ(host.DownloadPackage(Ranked({Domain(*server)}), Utf8ToWide(target)), c.success);
    ASSERT_EQ(host.AttemptStats().attempts.size(), 1u);
    const CdnAttempt& a = host.AttemptStats().attempts[0];
    EXPECT_EQ(server->CountRequests("HEAD"), 1);
    if (c.success) {
      ExpectTargetIs(content);
      EXPECT_EQ(a.cdnErrorMsg, "");
      EXPECT_FALSE(host.LastFailure());
      EXPECT_EQ(a.downloadByte, static_cast<int64_t>(content.size())) << "the fallback's bytes";
    } else {
      EXPECT_EQ(a.cdnErrorMsg, CdnErrorMessage(c.result));
      EXPECT_EQ(LastFailureWire(host), c.result);
    }
    const bool notStarted = c.result == 1001 || c.result == kProbeStatusResult;
    EXPECT_EQ(CountLines("second mutidownload failed "), notStarted ? 1 : 0);
    ASSERT_TRUE(host.HoldsFallback() || notStarted);
  }
}

// The single stream takes only a whole file: a disk that fills up (a file
// size limit on the target makes every write past 1 MiB fail as on a full
// volume) or an answer cut short end the attempt with its own result, the
// report carries it, and nothing of the file is left behind.
TEST_F(PackageDownloadTest, SingleStreamTakesOnlyAWholeFile) {
  using F = TestFileServer::FaultKind;
  struct Case {
    const char* name;
    bool fullDisk;
    std::vector<TestFileServer::Fault> faults;
    int result;
  };
  const Case cases[] = {
      {"full disk", true, {}, kWriteFailedResult},
      {"answer cut short", false, {{0, F::Drop, 1 * MiB, 500, 0, -1}}, 18},
  };
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto server = Serve(MakeContent(3 * MiB + 100, 25));
    for (const auto& f : c.faults) server->AddFault(f);
    TestHost host;
    if (c.fullDisk) {
      rlimit limited = old;
      limited.rlim_cur = static_cast<rlim_t>(1 * MiB);
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    const bool downloaded = host.DownloadPackage(Ranked({Domain(*server)}), Utf8ToWide(target));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(downloaded);
    ASSERT_EQ(host.AttemptStats().attempts.size(), 1u);
    EXPECT_EQ(host.AttemptStats().attempts[0].cdnErrorMsg, CdnErrorMessage(c.result));
    EXPECT_EQ(LastFailureWire(host), c.result);
    EXPECT_NE(access(target.c_str(), F_OK), 0) << "a partial file was left";
  }
}

TEST(SaturatedBytes, ClampsToTheReportField) {
  EXPECT_EQ(SaturatedBytes(-1), 0);
  EXPECT_EQ(SaturatedBytes(3145828), 3145828);
  EXPECT_EQ(SaturatedBytes(int64_t{INT32_MAX}), INT32_MAX);
  EXPECT_EQ(SaturatedBytes(int64_t{5} * 1024 * 1024 * 1024), INT32_MAX);
}
