#include "net/throughput_ranking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/servers/local_servers.h"

namespace {

const char kPath[] = "/official/pc/client_channel/QVInstaller.exe";
const int64_t kLimit = 2 * 1024 * 1024;
// Deadline as called (2 s window), plus room for a loaded machine.
const double kDeadlineMs = 4500;
const double kMarginMs = 2500;

enum class Behaviour { kFast, kSlow, kStall, kNotFound, kRedirects5, kRedirects6, kSmall };

// One download domain on its own local server.
class Domain {
 public:
  explicit Domain(Behaviour behaviour) : behaviour_(behaviour) {
    auto& s = server_.server();
    s.Get(kPath, [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard<std::mutex> guard(lock);
        range = req.get_header_value("Range");
      }
      ++requests;
      Answer(res, -1);
    });
    s.Get(R"(/hop/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      Answer(res, std::stoi(req.matches[1]));
    });
    server_.Start();
  }
  std::string Url() const { return server_.Url(); }
  std::atomic<int> requests{0};  // GETs of the download path
  std::string Range() {
    std::lock_guard<std::mutex> guard(lock);
    return range;
  }

 private:
  void Answer(httplib::Response& res, int hopsLeft) {
    std::atomic<bool>* stopping = &server_.stopping;
    switch (behaviour_) {
      case Behaviour::kFast:
        res.set_content_provider(8 * kLimit, "application/octet-stream",
                                 [](size_t, size_t length, httplib::DataSink& sink) {
                                   static const std::string block(64 * 1024, 'f');
                                   return sink.write(block.data(), std::min(length, block.size()));
                                 });
        break;
      case Behaviour::kSlow:  // about 320 KiB/s: never 2 MiB within the window
        res.set_content_provider(8 * kLimit, "application/octet-stream",
                                 [stopping](size_t, size_t length, httplib::DataSink& sink) {
                                   static const std::string block(16 * 1024, 's');
                                   std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                   return !*stopping &&
                                          sink.write(block.data(), std::min(length, block.size()));
                                 });
        break;
      case Behaviour::kStall:  // accepts, then never answers
        for (int i = 0; i < 1000 && !*stopping; ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        res.status = 500;
        break;
      case Behaviour::kNotFound:
        res.status = 404;
        res.set_content("not here", "text/plain");
        break;
      case Behaviour::kRedirects5:
      case Behaviour::kRedirects6: {
        // The download path redirects to /hop/(n-1); /hop/k to /hop/(k-1); /hop/0 answers.
        int redirects = behaviour_ == Behaviour::kRedirects5 ? 5 : 6;
        int next = hopsLeft < 0 ? redirects - 1 : hopsLeft - 1;
        if (hopsLeft == 0) {
          res.set_content(std::string(1000, 'r'), "application/octet-stream");
        } else {
          res.set_redirect("/hop/" + std::to_string(next));
        }
        break;
      }
      case Behaviour::kSmall:
        res.set_content(std::string(100 * 1024, 'x'), "application/octet-stream");
        break;
    }
  }

  Behaviour behaviour_;
  std::mutex lock;
  std::string range;  // of the last GET of the download path
  LocalServer server_;
};

struct Ranked {
  DomainList order;
  std::map<std::string, SpeedSample> samples;
  RankedDomains list;
  std::vector<std::string> log;
  double elapsedMs = 0;
};

Ranked Rank(const DomainList& domains, int seconds = 2) {
  Ranked r;
  DebugCapture capture;
  auto start = std::chrono::steady_clock::now();
  r.list = CheckThroughputAndSortDomains(domains, kPath, seconds, TransferPolicy());
  r.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  r.log = capture.Lines();
  for (const RankedDomain& entry : r.list) {
    r.order.push_back(entry.domain);
    // Entries of one domain carry one sample.
    if (r.samples.count(entry.domain)) {
      EXPECT_EQ(r.samples[entry.domain].bytes, entry.sample.bytes) << entry.domain;
    }
    r.samples[entry.domain] = entry.sample;
  }
  return r;
}

// '#' in `pattern` stands for one or more decimal digits.
bool Matches(const std::string& text, const std::string& pattern) {
  size_t t = 0;
  for (char p : pattern) {
    if (p == '#') {
      size_t start = t;
      while (t < text.size() && text[t] >= '0' && text[t] <= '9') ++t;
      if (t == start) return false;
    } else if (t >= text.size() || text[t++] != p) {
      return false;
    }
  }
  return t == text.size();
}

std::string Entry(const std::string& domain) { return "[" + domain + ": #KB/s(#B/#ms, connect #ms)]"; }

std::string FailEntry(const std::string& domain) { return "[" + domain + ": Fail]"; }

bool IsZero(const SpeedSample& s) { return s.bytes == 0 && s.totalMs == 0 && s.connectMs == 0 && !s.ok; }

TEST(CheckThroughputAndSortDomains, NothingToRankWritesOnlyItsLine) {
  struct Case {
    const char* name;
    DomainList domains;
    std::string line;
  } cases[] = {
      {"empty list", {}, "CheckThroughputAndSortDomains not need domains count is 0"},
      {"one domain", {"http://127.0.0.1:1"}, "CheckThroughputAndSortDomains not need domains count is 1"},
  };
  for (const Case& c : cases) {
    DebugCapture capture;
    const RankedDomains ranked = CheckThroughputAndSortDomains(c.domains, kPath, 2, TransferPolicy());
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line}) << c.name;
    ASSERT_EQ(ranked.size(), c.domains.size()) << c.name;
    for (size_t i = 0; i < ranked.size(); ++i) {
      EXPECT_EQ(ranked[i].domain, c.domains[i]) << c.name;
      EXPECT_TRUE(IsZero(ranked[i].sample)) << c.name;
    }
  }
}

TEST(CheckThroughputAndSortDomains, FasterDomainComesFirst) {
  Domain slow(Behaviour::kSlow), fast(Behaviour::kFast);
  Ranked r = Rank({slow.Url(), fast.Url()});
  EXPECT_EQ(r.order, (DomainList{fast.Url(), slow.Url()}));
  EXPECT_TRUE(r.samples[fast.Url()].ok);
  EXPECT_GE(r.samples[fast.Url()].bytes, kLimit);
  EXPECT_TRUE(r.samples[slow.Url()].ok);  // measured for the whole window
  EXPECT_GT(r.samples[slow.Url()].bytes, 0);
  EXPECT_LT(r.samples[slow.Url()].bytes, kLimit);
  // The server is asked for no more than the probe reads.
  EXPECT_EQ(fast.Range(), "bytes=0-2097151");
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_TRUE(
      Matches(r.log[0], "Domain Throughput Sort Result: " + Entry(fast.Url()) + ", " + Entry(slow.Url())))
      << r.log[0];
  EXPECT_LT(r.elapsedMs, kDeadlineMs + kMarginMs);
}

TEST(CheckThroughputAndSortDomains, WaitEndsWhenTheNeededProbesReachTheLimit) {
  struct Case {
    const char* name;
    int fast;
    int slow;
  } cases[] = {
      {"two domains need both", 2, 0},
      {"three domains need two", 2, 1},
      {"five domains need three", 3, 2},
  };
  for (const Case& c : cases) {
    std::vector<std::unique_ptr<Domain>> fast, slow;
    DomainList domains;
    // Slow ones first, so ranking has to move the fast ones forward.
    for (int i = 0; i < c.slow; ++i) {
      slow.push_back(std::make_unique<Domain>(Behaviour::kSlow));
      domains.push_back(slow.back()->Url());
    }
    for (int i = 0; i < c.fast; ++i) {
      fast.push_back(std::make_unique<Domain>(Behaviour::kFast));
      domains.push_back(fast.back()->Url());
    }
    Ranked r = Rank(domains);
    std::printf("[ measure  ] %s: ranking ended after %.0f ms = %.2f of the 4.5 s deadline\n", c.name,
                r.elapsedMs, r.elapsedMs / kDeadlineMs);
    EXPECT_LT(r.elapsedMs, kDeadlineMs + kMarginMs) << c.name;
    for (int i = 0; i < c.fast; ++i) {
      const std::string& url = fast[i]->Url();
      EXPECT_GE(r.samples[url].bytes, kLimit) << c.name << " " << url;
      auto position = std::find(r.order.begin(), r.order.end(), url) - r.order.begin();
      EXPECT_LT(position, c.fast) << c.name << " " << url;
    }
    // The wait ended with the needed fast probes: the slow ones, still within
    // their window, were cut off and count as failed.
    for (int i = 0; i < c.slow; ++i) EXPECT_TRUE(IsZero(r.samples[slow[i]->Url()])) << c.name;
  }
}

TEST(CheckThroughputAndSortDomains, FailuresGetZeroSamplesAndKeepTheirOrder) {
  Domain notFound(Behaviour::kNotFound), redirects6(Behaviour::kRedirects6),
      redirects5(Behaviour::kRedirects5), small(Behaviour::kSmall);
  const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort());
  Ranked r = Rank({refused, notFound.Url(), redirects6.Url(), redirects5.Url(), small.Url()});

  EXPECT_EQ(r.order, (DomainList{small.Url(), redirects5.Url(), refused, notFound.Url(), redirects6.Url()}));
  EXPECT_EQ(r.samples[small.Url()].bytes, 100 * 1024);
  EXPECT_EQ(r.samples[redirects5.Url()].bytes, 1000);  // five hops are followed
  for (const std::string& failed : {refused, notFound.Url(), redirects6.Url()})
    EXPECT_TRUE(IsZero(r.samples[failed])) << failed;
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_TRUE(Matches(r.log[0], "Domain Throughput Sort Result: " + Entry(small.Url()) + ", " +
                                    Entry(redirects5.Url()) + ", " + FailEntry(refused) + ", " +
                                    FailEntry(notFound.Url()) + ", " + FailEntry(redirects6.Url())))
      << r.log[0];
}

TEST(CheckThroughputAndSortDomains, EveryServerStallingEndsByTheDeadline) {
  Domain a(Behaviour::kStall), b(Behaviour::kStall), c(Behaviour::kStall);
  Ranked r = Rank({a.Url(), b.Url(), c.Url()});
  std::printf("[ measure  ] all stalled: ranking ended after %.0f ms = %.2f of the 4.5 s deadline\n",
              r.elapsedMs, r.elapsedMs / kDeadlineMs);
  EXPECT_LT(r.elapsedMs, kDeadlineMs + kMarginMs);
  EXPECT_EQ(r.order, (DomainList{a.Url(), b.Url(), c.Url()}));
  for (const auto& entry : r.samples) EXPECT_TRUE(IsZero(entry.second)) << entry.first;
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_EQ(r.log[0], "Domain Throughput Sort Result: " + FailEntry(a.Url()) + ", " + FailEntry(b.Url()) +
                          ", " + FailEntry(c.Url()));
}

TEST(CheckThroughputAndSortDomains, EqualByteCountsKeepDirectoryOrder) {
  Domain a(Behaviour::kSmall), b(Behaviour::kSmall);
  EXPECT_EQ(Rank({a.Url(), b.Url()}).order, (DomainList{a.Url(), b.Url()}));
  EXPECT_EQ(Rank({b.Url(), a.Url()}).order, (DomainList{b.Url(), a.Url()}));
}

// Each probe costs the vendor up to 2 MiB: a domain is probed once however
// often it is listed, and no more than six domains are probed.
TEST(CheckThroughputAndSortDomains, ProbesEachDomainOnceAndAtMostSix) {
  struct Case {
    const char* name;
    std::vector<Behaviour> servers;
    std::vector<int> entries;     // the directory, as indexes into `servers`
    std::vector<int> probes;      // expected GETs per server
    std::vector<int> order;       // expected ranked list, as indexes
  } cases[] = {
      {"a duplicate keeps its first place and is listed once",
       {Behaviour::kSmall, Behaviour::kFast},
       {0, 1, 0, 1},
       {1, 1},
       {1, 0}},
      {"the first six are probed; the rest follow in directory order",
       {Behaviour::kNotFound, Behaviour::kSmall, Behaviour::kSmall, Behaviour::kSmall, Behaviour::kSmall,
        Behaviour::kSmall, Behaviour::kSmall, Behaviour::kFast},
       {0, 1, 2, 3, 4, 5, 6, 7},
       {1, 1, 1, 1, 1, 1, 0, 0},
       {1, 2, 3, 4, 5, 0, 6, 7}},
      {"1,500 entries over five domains",
       {Behaviour::kSmall, Behaviour::kSmall, Behaviour::kSmall, Behaviour::kSmall, Behaviour::kSmall},
       {},  // filled below
       {1, 1, 1, 1, 1},
       {0, 1, 2, 3, 4}},
  };
  for (int i = 0; i < 1500; ++i) cases[2].entries.push_back(i % 5);
  for (const Case& c : cases) {
    std::vector<std::unique_ptr<Domain>> servers;
    for (Behaviour b : c.servers) servers.push_back(std::make_unique<Domain>(b));
    DomainList domains;
    for (int e : c.entries) domains.push_back(servers[e]->Url());
    Ranked r = Rank(domains);
    DomainList expected;
    for (int e : c.order) expected.push_back(servers[e]->Url());
    EXPECT_EQ(r.order, expected) << c.name;
    for (size_t k = 0; k < servers.size(); ++k)
      EXPECT_EQ(servers[k]->requests.load(), c.probes[k]) << c.name << ", server " << k;
    EXPECT_LT(r.elapsedMs, kDeadlineMs + kMarginMs) << c.name;
  }
}

TEST(CheckThroughputAndSortDomains, ProbesVerifyCertificates) {
  ASSERT_FALSE(TestTls().dir.empty()) << "could not make TLS test files";
  LocalServer untrusted(TestTls().untrustedCert, TestTls().untrustedKey);
  LocalServer trusted(TestTls().serverCert, TestTls().serverKey);
  for (LocalServer* s : {&untrusted, &trusted}) {
    s->server().Get(kPath, [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(300 * 1024, 't'), "application/octet-stream");
    });
    s->Start();
  }
  Ranked r = Rank({untrusted.Url(), trusted.Url()});
  EXPECT_EQ(r.order, (DomainList{trusted.Url(), untrusted.Url()}));
  EXPECT_EQ(r.samples[trusted.Url()].bytes, 300 * 1024);
  EXPECT_TRUE(IsZero(r.samples[untrusted.Url()]));
}

TEST(FormatSpeedSample, SpeedOverTheTransferOrTheWindow) {
  struct Case {
    const char* name;
    SpeedSample sample;
    int windowMs;
    std::string expected;
  } cases[] = {
      {"failed", SpeedSample{5000, 10, 1, false}, 2000, "Fail"},
      {"zero sample", SpeedSample{}, 2000, "Fail"},
      {"one second", SpeedSample{2097152, 1000, 3, true}, 2000, "2048KB/s(2097152B/1000ms, connect 3ms)"},
      {"no transfer time: whole window", SpeedSample{2097152, 0, 0, true}, 2000,
       "1024KB/s(2097152B/0ms, connect 0ms)"},
      {"rounded", SpeedSample{1536, 1000, 0, true}, 2000, "2KB/s(1536B/1000ms, connect 0ms)"},
      {"nothing received", SpeedSample{0, 5, 1, true}, 2000, "0KB/s(0B/5ms, connect 1ms)"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatSpeedSample(c.sample, c.windowMs), c.expected) << c.name;
}

}  // namespace
