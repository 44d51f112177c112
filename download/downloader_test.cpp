#include "download/downloader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <regex>

#include "base/debug_output.h"
#include "base/manual_reset_event.h"
#include "base/system_info.h"
#include "base/text_convert.h"
#include "download/download_error.h"
#include "download/range_plan.h"
#include "testing/servers/test_file_server.h"

namespace {
constexpr int64_t MiB = 1024 * 1024;
constexpr int kLowSpeedSeconds = 2;

class RecordingDelegate : public Downloader::Delegate {
 public:
  void OnProgress(const DownloadProgress& now) override {
    const double downloaded = static_cast<double>(now.received);
    std::lock_guard<std::mutex> guard(lock);
    ++progressCalls;
    lastTotal = static_cast<double>(now.total);
    if (downloaded < lastDownloaded) wentBack = true;
    lastDownloaded = downloaded;
  }
  void OnStart() override { ++starts; }
  void OnError(int code) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      errors.push_back(code);
    }
    done.Set();
  }
  void OnComplete() override {
    ++completes;
    done.Set();
  }
  void OnMergeStart() override { ++mergeStarts; }
  // Bounded only to turn a hang into a failure.
  bool WaitDone() { return done.WaitFor(std::chrono::seconds(120)); }

  std::mutex lock;
  int progressCalls = 0;
  double lastTotal = 0;
  double lastDownloaded = 0;
  bool wentBack = false;
  std::vector<int> errors;
  std::atomic<int> starts{0}, completes{0}, mergeStarts{0};
  ManualResetEvent done;
};

class DownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv-download-XXXXXX";
    dir = mkdtemp(pattern);
    target = dir + "/sub/target.bin";
    SetDebugSink([this](const std::string& line) {
      std::lock_guard<std::mutex> guard(logLock);
      log.push_back(line);
    });
  }
  void TearDown() override {
    SetDebugSink(nullptr);
    std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
  }

  std::unique_ptr<Downloader> Make(const std::string& url) {
    return std::make_unique<Downloader>(url, Utf8ToWide(target), &delegate, kLowSpeedSeconds);
  }
  // Starts, waits for the outcome and joins the downloader's threads.
  void Run(const std::string& url) {
    auto downloader = Make(url);
    ASSERT_TRUE(downloader->Start());
    ASSERT_TRUE(delegate.WaitDone()) << "no OnError or OnComplete";
    downloader.reset();
  }
  void ExpectCompleteCopy(const std::string& content, const std::string& name) {
    EXPECT_EQ(delegate.completes, 1) << name;
    EXPECT_TRUE(delegate.errors.empty())
        << name << ": error " << (delegate.errors.empty() ? 0 : delegate.errors[0]);
    bool ok = false;
    const std::string copy = ReadWholeFile(target, &ok);
    ASSERT_TRUE(ok) << name;
    ASSERT_EQ(copy.size(), content.size()) << name;
    EXPECT_EQ(HashBytes(copy), HashBytes(content)) << name;
    for (int id = 1; id < 16; ++id) {
      EXPECT_NE(access((target + std::to_string(id)).c_str(), F_OK), 0)
          << name << ": range file " << id << " left";
    }
  }
  void ClearLog() {
    std::lock_guard<std::mutex> guard(logLock);
    log.clear();
  }
  int CountLines(const std::string& prefix) {
    std::lock_guard<std::mutex> guard(logLock);
    int n = 0;
    for (const std::string& line : log) n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
  }
  std::vector<std::string> Lines(const std::string& prefix) {
    std::lock_guard<std::mutex> guard(logLock);
    std::vector<std::string> found;
    for (const std::string& line : log) {
      if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    }
    return found;
  }

  std::string dir, target;
  RecordingDelegate delegate;
  std::mutex logLock;
  std::vector<std::string> log;
};

int Threads() { return SegmentedThreadCount(ProcessorCount()); }

bool HasRequestFrom(const TestFileServer& server, int64_t first) {
  for (const auto& r : server.Requests()) {
    if (r.method == "GET" && r.ranged && r.first == first) return true;
  }
  return false;
}
}  // namespace

TEST_F(DownloaderTest, TenMiBIsTheSmallestSegmentedFile) {
  struct Case {
    int64_t size;
    int mode;
  };
  for (const Case c : {Case{10485759, 0}, Case{10485760, 1}}) {
    SCOPED_TRACE(c.size);
    const std::string content = MakeContent(c.size, static_cast<uint32_t>(c.size));
    TestFileServer server(content);
    delegate.done.Reset();
    delegate.completes = 0;
    delegate.lastDownloaded = 0;
    ClearLog();
    Run(server.Url());
    ExpectCompleteCopy(content, std::to_string(c.size));
    // The reports count the bytes written so far over all ranges.
    EXPECT_FALSE(delegate.wentBack) << "progress went back";
    EXPECT_GT(delegate.lastDownloaded, 0.0);
    EXPECT_LE(delegate.lastDownloaded, static_cast<double>(c.size));
    EXPECT_EQ(CountLines("KVDown:down_type " + std::to_string(c.mode)), 1);
    EXPECT_EQ(CountLines("KVDown: downfile_length=" + std::to_string(c.size)), 1);
    int ranged = 0, plain = 0;
    for (const auto& r : server.Requests()) {
      if (r.method == "GET") (r.ranged ? ranged : plain)++;
    }
    if (c.mode == 0) {
      EXPECT_EQ(plain, 1);
      EXPECT_EQ(ranged, 0);
    } else {
      EXPECT_EQ(plain, 0);
      EXPECT_EQ(ranged, Threads());
      EXPECT_EQ(CountLines("KVDown: thread "), Threads());
      EXPECT_EQ(delegate.mergeStarts, 1);
    }
    EXPECT_EQ(delegate.lastTotal, static_cast<double>(c.size));
  }
}

// Transfer faults that the download survives: the file still arrives whole.
TEST_F(DownloaderTest, RecoversFromTransferFaults) {
  const int64_t size = 12 * MiB + 3;  // segmented, ranges too small to split
  const std::vector<PlannedRange> plan = PlanRanges(size, Threads());
  const int64_t half1 = (plan[1].end - plan[1].start) / 2;
  using F = TestFileServer::FaultKind;
  struct Case {
    const char* name;
    int64_t size;
    std::vector<TestFileServer::Fault> faults;
    bool ignoreRanges, wrongContentRange;
    int64_t resumedFrom;       // a ranged GET must start here (-1: none expected)
    const char* expectedLine;  // a line that must appear
  };
  const Case cases[] = {
      {"connection dropped half-way in range 1",
       size,
       {{plan[1].start, F::Drop, half1}},
       false,
       false,
       plan[1].start + half1,
       "KVDown: attempt 1 ended with 18"},
      {"stall in the last range",
       size,
       {{plan.back().start, F::Stall, 1 * MiB}},
       false,
       false,
       plan.back().start + 1 * MiB,
       "KVDown: attempt 1 ended with 28"},
      {"ranges ignored (200 with the whole file)",
       size,
       {},
       true,
       false,
       -1,
       "KVDown: byte ranges not honoured, downloading over one connection"},
      {"206 with a Content-Range that is off by one",
       size,
       {},
       false,
       true,
       -1,
       "KVDown: byte ranges not honoured, downloading over one connection"},
      {"range 0 dropped, its resumption answered with the whole file",
       size,
       {{0, F::Drop, 1 * MiB}, {1 * MiB, F::Whole}},
       false,
       false,
       1 * MiB,
       "KVDown: attempt 1 ended with 18"},
      {"single connection dropped, then the range ignored",
       5 * MiB,
       {{0, F::Drop, 2 * MiB}},
       true,
       false,
       2 * MiB,
       "KVDown: attempt 1 ended with 18"},
      {"single connection stalled",
       5 * MiB,
       {{0, F::Stall, 3 * MiB}},
       false,
       false,
       3 * MiB,
       "KVDown: attempt 1 ended with 28"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string content = MakeContent(c.size, 7);
    TestFileServer server(content);
    for (const auto& f : c.faults) server.AddFault(f);
    server.ignoreRanges = c.ignoreRanges;
    server.wrongContentRange = c.wrongContentRange;
    delegate.done.Reset();
    delegate.completes = 0;
    ClearLog();
    Run(server.Url());
    ExpectCompleteCopy(content, c.name);
    if (c.resumedFrom >= 0) {
      EXPECT_TRUE(HasRequestFrom(server, c.resumedFrom)) << "no resumed request";
    }
    EXPECT_GE(CountLines(c.expectedLine), 1);
    if (!c.ignoreRanges && !c.wrongContentRange) {
      EXPECT_EQ(CountLines("KVDown: byte ranges not honoured"), 0);
    }
  }
}

// Faults that end the download with OnError and never with OnComplete.
TEST_F(DownloaderTest, ReportsFailuresOnce) {
  const int64_t size = 12 * MiB + 3;
  const std::vector<PlannedRange> plan = PlanRanges(size, Threads());
  using F = TestFileServer::FaultKind;
  struct Case {
    const char* name;
    int64_t size;
    std::vector<TestFileServer::Fault> faults;
    int error;
  };
  const Case cases[] = {
      {"500 on range 1", size, {{plan[1].start, F::Status, 0, 500}}, 500},
      {"404 when the last range resumes",
       size,
       {{plan.back().start, F::Drop, 1 * MiB}, {plan.back().start + 1 * MiB, F::Status, 0, 404}},
       404},
      {"every range stalls", size, {{-1, F::Stall, 0, 0, 0, -1}}, 28},
      {"every range drops at once", size, {{-1, F::Drop, 0, 0, 0, -1}}, 18},
      {"single connection answered 404", 1 * MiB, {{0, F::Status, 0, 404}}, 404},
      {"single connection stalls for ever", 1 * MiB, {{-1, F::Stall, 100, 0, 0, -1}}, 28},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestFileServer server(MakeContent(c.size, 3));
    for (const auto& f : c.faults) server.AddFault(f);
    RecordingDelegate d;
    {
      Downloader downloader(server.Url(), Utf8ToWide(target), &d, kLowSpeedSeconds);
      ASSERT_TRUE(downloader.Start());
      ASSERT_TRUE(d.WaitDone()) << "no OnError or OnComplete";
    }  // joins every thread: no late callback can follow
    EXPECT_EQ(d.completes, 0);
    ASSERT_EQ(d.errors.size(), 1u);
    EXPECT_EQ(d.errors[0], c.error);
  }
}

// Bytes that are not the whole announced file never end in OnComplete: a
// probe refused with an error page's length, a file replaced on the server
// between probe and answer (200 and 206), a disk that is full (/dev/full
// fails every write and flush).
TEST_F(DownloaderTest, OnlyAWholeFileCompletes) {
  struct Case {
    const char* name;
    int64_t size;
    int headStatus;
    int64_t headLength;  // -1: the true size
    bool fullDisk;
    bool starts;
    int error;  // OnError's code, or Start's error when it does not start
  };
  const Case cases[] = {
      {"HEAD 405 with an error page, GET 200", 5 * MiB, 405, -1, false, false, kProbeStatusResult},
      {"HEAD says 2.5 MiB, GET sends 5 MiB", 5 * MiB, 200, 5 * MiB / 2, false, true, kLengthMismatchResult},
      {"HEAD says 12 MiB, ranges total 12 MiB + 3", 12 * MiB + 3, 200, 12 * MiB, false, true, kLengthMismatchResult},
      {"full disk", 1 * MiB + 100, 200, -1, true, true, kWriteFailedResult},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestFileServer server(MakeContent(c.size, 4));
    server.headStatus = c.headStatus;
    server.headLength = c.headLength;
    RecordingDelegate d;
    {
      Downloader downloader(server.Url(), Utf8ToWide(c.fullDisk ? std::string("/dev/full") : target), &d,
                            kLowSpeedSeconds);
      ASSERT_EQ(downloader.Start(), c.starts);
      if (c.starts) {
        ASSERT_TRUE(d.WaitDone()) << "no OnError or OnComplete";
      } else {
        EXPECT_EQ(downloader.StartError().Code(), c.error);
        EXPECT_EQ(server.CountRequests("GET"), 0);
      }
    }
    EXPECT_EQ(d.completes, 0);
    if (c.starts) {
      ASSERT_EQ(d.errors.size(), 1u);
      EXPECT_EQ(d.errors[0], c.error);
    } else {
      EXPECT_TRUE(d.errors.empty());
    }
  }
}

TEST_F(DownloaderTest, StartFailsWithoutALength) {
  struct Case {
    const char* name;
    bool reachable;
    int heads;         // HEAD requests the server saw
    int failedProbes;  // "ret is" lines
  };
  for (const Case& c : {Case{"HEAD without length", true, 1, 0}, Case{"nothing listens", false, 0, 4}}) {
    SCOPED_TRACE(c.name);
    TestFileServer server(MakeContent(1000));
    server.headWithoutLength = true;
    ClearLog();
    const std::string url =
        c.reachable ? server.Url() : "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/f";
    RecordingDelegate d;
    Downloader downloader(url, Utf8ToWide(target), &d, kLowSpeedSeconds);
    EXPECT_FALSE(downloader.Start());
    EXPECT_EQ(server.CountRequests("HEAD"), c.heads);
    EXPECT_EQ(server.CountRequests("GET"), 0);
    EXPECT_EQ(CountLines("KVDown:___GetDownloadFileLenth ret is :7"), c.failedProbes);
    EXPECT_EQ(CountLines("KVDown: GetDownloadFileLenth try agine--------"), c.failedProbes ? 3 : 0);
    EXPECT_EQ(CountLines("KVDown:___GetDownloadFileLenth:-1.000000"), c.reachable ? 1 : 4);
    EXPECT_EQ(d.starts, 0);
    EXPECT_FALSE(d.done.IsSet());
  }
}

TEST_F(DownloaderTest, TargetThatCannotBeOpenedFailsToStart) {
  TestFileServer server(MakeContent(1000));
  RecordingDelegate d;
  Downloader downloader(server.Url(), Utf8ToWide(dir + "/missing/deeper/target.bin"), &d, kLowSpeedSeconds);
  EXPECT_FALSE(downloader.Start());
  EXPECT_EQ(d.starts, 0);
}

// A range that lags is split: a new range takes its second half, and both
// appear in the log with their new bounds.
TEST_F(DownloaderTest, SplitsASlowRange) {
  const int threads = Threads();
  const int64_t size = threads * 12 * MiB + 5;
  const std::vector<PlannedRange> plan = PlanRanges(size, threads);
  for (int slow : {threads - 1, 0}) {
    SCOPED_TRACE("slow range " + std::to_string(slow));
    const std::string content = MakeContent(size, 11 + slow);
    TestFileServer server(content);
    TestFileServer::Fault fault;
    fault.at = plan[slow].start;
    fault.kind = TestFileServer::FaultKind::Slow;
    fault.rate = 0;  // held back until the split asks for its second half
    server.AddFault(fault);
    delegate.done.Reset();
    delegate.completes = 0;
    ClearLog();
    Run(server.Url());
    ExpectCompleteCopy(content, "split");

    const std::regex line("KVDown: thread (\\d+):(\\d+)--(\\d+),currentpos is (\\d+),nextid is (-?\\d+)");
    std::smatch m;
    bool sawNew = false, sawVictim = false;
    int64_t newStart = -1;
    const std::vector<std::string> threadLines = Lines("KVDown: thread ");
    for (const std::string& l : threadLines) {
      ASSERT_TRUE(std::regex_match(l, m, line)) << l;
      // The first line of the new range is its creation; it may be split later.
      if (std::stoi(m[1]) == threads && !sawNew) {
        sawNew = true;
        newStart = std::stoll(m[2]);
        EXPECT_EQ(std::stoll(m[3]), plan[slow].end) << l;
        EXPECT_EQ(std::stoi(m[5]), plan[slow].nextId) << l;
        EXPECT_GT(newStart, plan[slow].start + 10 * MiB / 2) << l;
      }
    }
    ASSERT_TRUE(sawNew);
    for (const std::string& l : threadLines) {
      ASSERT_TRUE(std::regex_match(l, m, line));
      if (std::stoi(m[1]) == slow && std::stoll(m[3]) == newStart - 1) {
        sawVictim = true;
        EXPECT_EQ(std::stoi(m[5]), threads) << l;
      }
    }
    EXPECT_TRUE(sawVictim) << "no line for the split range with its new end";
    EXPECT_TRUE(HasRequestFrom(server, newStart));
    EXPECT_GE(CountLines("KVDown: rebuild " + std::to_string(threads) + ":"), 1);
  }
}

TEST_F(DownloaderTest, SecondStartWhileRunningChangesNothing) {
  const std::string content = MakeContent(12 * MiB, 5);
  TestFileServer server(content);
  TestFileServer::Fault slow;
  slow.kind = TestFileServer::FaultKind::Slow;
  slow.rate = 8 * MiB;
  slow.times = -1;
  server.AddFault(slow);
  auto downloader = Make(server.Url());
  ASSERT_TRUE(downloader->Start());
  EXPECT_TRUE(downloader->Start());
  ASSERT_TRUE(delegate.WaitDone());
  downloader.reset();
  ExpectCompleteCopy(content, "second start");
  EXPECT_EQ(server.CountRequests("HEAD"), 1);
  EXPECT_EQ(server.CountRequests("GET"), Threads());
  EXPECT_EQ(delegate.starts, 1);
}

TEST_F(DownloaderTest, DestroyingARunningDownloadStopsWithoutCallbacks) {
  TestFileServer server(MakeContent(12 * MiB, 5));
  TestFileServer::Fault stall;
  stall.kind = TestFileServer::FaultKind::Stall;
  stall.bytes = 1 * MiB;
  stall.times = -1;
  server.AddFault(stall);
  auto downloader = std::make_unique<Downloader>(server.Url(), Utf8ToWide(target), &delegate, 60);
  ASSERT_TRUE(downloader->Start());
  for (int i = 0; i < 3000 && server.CountRequests("GET") < Threads(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(server.CountRequests("GET"), Threads());
  // Destruction stops the stalled transfers; it must not wait for the 60 s
  // low-speed window to end them (a bound far from both, not a speed goal).
  const auto destroying = std::chrono::steady_clock::now();
  downloader.reset();
  const auto destroyMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - destroying).count();
  EXPECT_LT(destroyMs, 20000);
  EXPECT_FALSE(delegate.done.IsSet());
}

// The target cannot grow past a limit: the merge appends short and the
// download ends with OnError, never with OnComplete.
TEST_F(DownloaderTest, ShortMergeAppendEndsWithError) {
  const int64_t size = 12 * MiB;
  TestFileServer server(MakeContent(size, 9));
  const std::vector<PlannedRange> plan = PlanRanges(size, Threads());
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limited = old;
  limited.rlim_cur =
      static_cast<rlim_t>(plan[0].end + 1 + 1 * MiB);  // range files fit, the merged target not
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  auto downloader = Make(server.Url());
  const bool started = downloader->Start();
  const bool done = started && delegate.WaitDone();
  downloader.reset();
  setrlimit(RLIMIT_FSIZE, &old);
  ASSERT_TRUE(started);
  ASSERT_TRUE(done);
  EXPECT_EQ(delegate.completes, 0);
  ASSERT_EQ(delegate.errors.size(), 1u);
  EXPECT_EQ(delegate.errors[0], 23);
  EXPECT_GE(CountLines("KVDown: merge append short"), 1);
}
