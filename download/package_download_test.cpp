#include "download/package_download.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <mutex>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "download/download_error.h"
#include "download/resume_record.h"
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
    // A failed download keeps its part for the next run; each row starts
    // without one, so the second row is not continued from the first's.
    std::remove((target + ".partial").c_str());
    std::remove((target + ".partial.txt").c_str());
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

// An attempt after one that left part of the file asks only for the rest,
// and takes it only when it is the rest of the same file; otherwise that
// attempt starts from the first byte, as the first one did.
TEST_F(PackageDownloadTest, NextDomainContinuesWhereTheLastStopped) {
  using F = TestFileServer::FaultKind;
  constexpr int64_t kSize = 3 * MiB + 100, kBreak = kSize / 2;
  struct Case {
    const char* name;
    int64_t secondSize;     // the second domain's file
    uint32_t secondSeed;
    bool ignoresRanges;
    bool wrongStart;        // 206 whose Content-Range starts one byte late
    std::vector<int64_t> asked;  // where the second domain's GETs began (-1 unranged)
    int64_t fetched;        // body bytes the second domain sent
  } cases[] = {
      {"the rest of the same file", kSize, 31, false, false, {kBreak}, kSize - kBreak},
      {"range ignored: the whole file", kSize, 31, true, false, {kBreak}, kSize},
      {"another total length: from 0", kSize + 1000, 32, false, false, {kBreak, -1}, kSize + 1000},
      {"answer not at the asked byte: from 0", kSize, 31, false, true, {kBreak, -1}, kSize},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<std::mutex> guard(logLock);
      log.clear();
    }
    const std::string content = MakeContent(kSize, 31);
    const std::string second = MakeContent(c.secondSize, c.secondSeed);
    auto breaks = Serve(content);
    breaks->AddFault({0, F::Drop, kBreak, 500, 0, -1});
    auto other = Serve(second);
    other->ignoreRanges = c.ignoresRanges;
    other->wrongContentRange = c.wrongStart;
    TestHost host;
    ASSERT_TRUE(host.DownloadPackage(Ranked({Domain(*breaks), Domain(*other)}), Utf8ToWide(target)));
    ExpectTargetIs(second);
    std::vector<int64_t> asked;
    for (const auto& r : other->Requests()) asked.push_back(r.ranged ? r.first : -1);
    EXPECT_EQ(asked, c.asked);
    // A 206 that does not fit is left at its headers, but what the server
    // had already pushed into the connection's buffers counts as sent.
    const bool leftAtHeaders = c.asked.size() == 2;
    if (leftAtHeaders) {
      EXPECT_GE(other->BodyBytesSent(), c.fetched);
    } else {
      EXPECT_EQ(other->BodyBytesSent(), c.fetched);
    }
    EXPECT_EQ(CountLines("continuing at " + std::to_string(kBreak) + " of " + std::to_string(kSize) + " bytes"),
              1);
    const auto& attempts = host.AttemptStats().attempts;
    ASSERT_EQ(attempts.size(), 2u);
    EXPECT_EQ(attempts[0].downloadByte, kBreak);
    EXPECT_EQ(attempts[1].downloadByte, c.secondSize) << "the bytes on disk after the attempt";
    EXPECT_EQ(host.FileIsContinued(), c.fetched == kSize - kBreak);
  }
}

// After a continued file was refused, the owner discards it: the download
// that follows takes every byte from one answer.
TEST_F(PackageDownloadTest, AfterADiscardNoAttemptContinues) {
  using F = TestFileServer::FaultKind;
  constexpr int64_t kSize = 1 * MiB + 10, kBreak = kSize / 2;
  const std::string content = MakeContent(kSize, 36);
  auto breaks = Serve(content);
  breaks->AddFault({0, F::Drop, kBreak, 500, 0, -1});
  auto other = Serve(content);
  TestHost host;
  const std::wstring wideTarget = Utf8ToWide(target);
  ASSERT_TRUE(host.DownloadPackage(Ranked({Domain(*breaks), Domain(*other)}), wideTarget));
  EXPECT_TRUE(host.FileIsContinued());
  host.DiscardPartial(wideTarget);
  EXPECT_NE(access(target.c_str(), F_OK), 0);
  ASSERT_TRUE(host.DownloadPackage(Ranked({Domain(*breaks), Domain(*other)}), wideTarget));
  ExpectTargetIs(content);
  EXPECT_FALSE(host.FileIsContinued());
  const auto requests = other->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].ranged);
  EXPECT_FALSE(requests[1].ranged);
  EXPECT_EQ(host.AttemptStats().attempts.size(), 4u) << "every attempt keeps its record";
}

// The last attempt runs out of time after continuing: the segmented
// fallback keeps what is there and plans its ranges over the rest.
TEST_F(PackageDownloadTest, FallbackRangesCoverOnlyTheMissingPart) {
  using F = TestFileServer::FaultKind;
  constexpr int64_t kSize = 24 * MiB + 5, kBreak = 7 * MiB, kStallAfter = 1 * MiB;
  const std::string content = MakeContent(kSize, 33);
  auto breaks = Serve(content);
  breaks->AddFault({0, F::Drop, kBreak, 500, 0, -1});
  auto stalls = Serve(content);
  stalls->AddFault({kBreak, F::Stall, kStallAfter, 500, 0, 1});
  TestHost host;
  ASSERT_TRUE(host.DownloadPackage(Ranked({Domain(*breaks), Domain(*stalls)}), Utf8ToWide(target)));
  ExpectTargetIs(content);
  ASSERT_TRUE(host.HoldsFallback());
  int64_t firstAsked = kSize;
  for (const auto& r : stalls->Requests()) {
    if (r.method != "GET") continue;
    EXPECT_TRUE(r.ranged);
    firstAsked = std::min(firstAsked, r.first);
  }
  EXPECT_EQ(firstAsked, kBreak);
  EXPECT_EQ(CountLines("continuing at " + std::to_string(kBreak + kStallAfter) + " of " +
                       std::to_string(kSize) + " bytes"),
            1);
  EXPECT_LE(stalls->BodyBytesSent(), kSize - kBreak + 64 * 1024) << "bytes fetched twice";
  EXPECT_EQ(host.AttemptStats().attempts.back().downloadByte, kSize);
}

// A failed run sets its part aside with a record; the next run continues it
// only when the record is whole, fresh and fits the file the server has.
TEST_F(PackageDownloadTest, NextRunContinuesAPartThatFits) {
  using F = TestFileServer::FaultKind;
  constexpr int64_t kSize = 2 * MiB + 300, kBreak = kSize * 6 / 10;
  enum class Change { kNone, kCorrupt, kStale, kPartShorter, kRangesIgnored, kOtherLength, kOtherEtag };
  struct Case {
    const char* name;
    Change change;
    bool continued;
  } cases[] = {
      {"a fitting record", Change::kNone, true},
      {"a corrupt record", Change::kCorrupt, false},
      {"a record older than a day", Change::kStale, false},
      {"a part that lost bytes", Change::kPartShorter, false},
      {"the server ignores ranges", Change::kRangesIgnored, false},
      {"the server's file has another length", Change::kOtherLength, false},
      {"the same domain names another ETag", Change::kOtherEtag, false},
  };
  const std::wstring wideTarget = Utf8ToWide(target);
  const std::string partPath = WideToUtf8(PartialPathFor(wideTarget));
  const std::string recordPath = WideToUtf8(RecordPathFor(wideTarget));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string content = MakeContent(kSize, 34);
    {
      auto breaks = Serve(content);
      breaks->etag = "\"v1\"";
      breaks->AddFault({0, F::Drop, kBreak, 500, 0, -1});
      TestHost first;
      ASSERT_FALSE(first.DownloadPackage(Ranked({Domain(*breaks)}), wideTarget));
      EXPECT_NE(access(target.c_str(), F_OK), 0) << "a part was left at the target";
      bool ok = false;
      EXPECT_EQ(ReadWholeFile(partPath, &ok), content.substr(0, kBreak));
      ResumeRecord record;
      ASSERT_TRUE(LoadResumeRecord(Utf8ToWide(recordPath), &record));
      EXPECT_EQ(record.total, kSize);
      EXPECT_EQ(record.good, kBreak);
      EXPECT_EQ(record.validators.etag, "\"v1\"");
      if (c.change == Change::kCorrupt) {
        std::string text = ReadWholeFile(recordPath, &ok);
        text[text.find("good=") + 5] ^= 1;
        FILE* f = std::fopen(recordPath.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
      } else if (c.change == Change::kStale) {
        record.savedAt -= kResumeRecordLifetime + 1;
        ASSERT_TRUE(SaveResumeRecord(Utf8ToWide(recordPath), record));
      } else if (c.change == Change::kPartShorter) {
        ASSERT_EQ(truncate(partPath.c_str(), kBreak - 1), 0);
      }
      // The next run reaches the same domain (the same port) again.
      const int port = breaks->port();
      breaks.reset();
      auto again = std::make_unique<TestFileServer>(
          c.change == Change::kOtherLength ? MakeContent(kSize + 7, 35) : content, port);
      again->path = kPackagePath;
      again->etag = c.change == Change::kOtherEtag ? "\"v2\"" : "\"v1\"";
      again->ignoreRanges = c.change == Change::kRangesIgnored;
      TestHost next;
      ASSERT_TRUE(next.DownloadPackage(Ranked({Domain(*again)}), wideTarget));
      ExpectTargetIs(c.change == Change::kOtherLength ? MakeContent(kSize + 7, 35) : content);
      const auto requests = again->Requests();
      ASSERT_FALSE(requests.empty());
      const bool askedRest = requests[0].ranged && requests[0].first == kBreak;
      const bool recordUsed = c.change == Change::kNone || c.change >= Change::kRangesIgnored;
      EXPECT_EQ(askedRest, recordUsed);
      const int64_t fetched = c.continued ? kSize - kBreak : static_cast<int64_t>(ReadWholeFile(target).size());
      const bool leftAtHeaders = c.change == Change::kOtherLength || c.change == Change::kOtherEtag;
      if (leftAtHeaders) {  // see NextDomainContinuesWhereTheLastStopped
        EXPECT_GE(again->BodyBytesSent(), fetched);
        EXPECT_EQ(again->Requests().size(), 2u);
      } else {
        EXPECT_EQ(again->BodyBytesSent(), fetched);
      }
      EXPECT_EQ(next.FileIsContinued(), c.continued);
      EXPECT_NE(access(partPath.c_str(), F_OK), 0);
      EXPECT_NE(access(recordPath.c_str(), F_OK), 0);
      EXPECT_EQ(CountLines("the partial download of an earlier run is discarded"), recordUsed ? 0 : 1);
    }
    std::lock_guard<std::mutex> guard(logLock);
    log.clear();
    std::remove(target.c_str());
  }
}

TEST(ResumeRecord, TextRoundTripsAndRefusesDamage) {
  ResumeRecord r;
  r.url = "http://127.0.0.1:80/official/pc/client_channel/QVInstaller.exe";
  r.total = 8388608;
  r.validators = {"\"abc\"", "Tue, 01 Dec 2026 10:00:00 GMT"};
  r.good = 4194304;
  r.savedAt = 1796000000;
  const std::string text = FormatResumeRecord(r);
  ResumeRecord back;
  ASSERT_TRUE(ParseResumeRecord(text, &back));
  EXPECT_EQ(FormatResumeRecord(back), text);
  EXPECT_EQ(ResumeRecordProblem(back, kPackagePath, r.good, r.savedAt + 10), "");
  struct Case {
    const char* name;
    std::string text;
  } damaged[] = {
      {"empty", ""},
      {"cut short", text.substr(0, text.size() / 2)},
      {"a digit changed", std::string(text).replace(text.find("total=") + 6, 1, "9")},
      {"no check line", text.substr(0, text.find("check="))},
      {"a line more", "x=1\n" + text},
  };
  for (const Case& c : damaged) EXPECT_FALSE(ParseResumeRecord(c.text, &back)) << c.name;
  struct Fit {
    const char* name;
    std::string path;
    int64_t partSize;
    int64_t now;
    bool usable;
  } fits[] = {
      {"fits", kPackagePath, r.good, r.savedAt + kResumeRecordLifetime, true},
      {"a day and a second old", kPackagePath, r.good, r.savedAt + kResumeRecordLifetime + 1, false},
      {"saved in the future", kPackagePath, r.good, r.savedAt - 3600, false},
      {"another file", "/other.exe", r.good, r.savedAt, false},
      {"part missing", kPackagePath, -1, r.savedAt, false},
      {"part longer", kPackagePath, r.good + 1, r.savedAt, false},
  };
  for (const Fit& f : fits)
    EXPECT_EQ(ResumeRecordProblem(r, f.path, f.partSize, f.now).empty(), f.usable) << f.name;
}
