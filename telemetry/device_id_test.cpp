#include "telemetry/device_id.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/text_convert.h"
#include "telemetry/device_identity.h"
#include "telemetry/text_cipher.h"

namespace {

constexpr unsigned kUtf8 = 65001;

// Eight threads take the one-time values at once; prints what they agreed on
// and returns the exit code of the process it runs in.
int ConcurrentFirstUse() {
  struct Seen {
    std::string id, os, cpu;
  };
  std::vector<Seen> seen(6);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = {GetDeviceId(), GetOsDescription(), GetCpuBrand()}; });
  for (auto& t : threads) t.join();
  bool agree = true;
  for (const Seen& s : seen) agree = agree && s.id == seen[0].id && s.os == seen[0].os && s.cpu == seen[0].cpu;
  std::fprintf(stderr, "agree=%d idlength=%zu\n", agree, seen[0].id.size());
  return agree && seen[0].id.size() == 12 ? 0 : 1;
}

// The one-time values are derived by whichever thread comes first (checked by
// the thread sanitizer build). The threads run in a fresh process of this
// binary, so the first use is theirs whatever ran before.
TEST(DeviceIdentity, ConcurrentFirstUseAgrees) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(ConcurrentFirstUse()), ::testing::ExitedWithCode(0), "agree=1 idlength=12");
}

AdapterRecord Adapter(std::initializer_list<uint8_t> address, const char* ip, const char* gateway) {
  AdapterRecord a;
  std::copy(address.begin(), address.end(), a.address);
  a.ipAddress = ip;
  a.gateway = gateway;
  return a;
}

TEST(ChooseAdapterId, GatewayPassThenIpPass) {
  const AdapterRecord noGateway = Adapter({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, "192.168.1.5", "0.0.0.0");
  const AdapterRecord withGateway = Adapter({0xAA, 0xBB, 0xCC, 0x0D, 0x0E, 0x0F}, "10.0.0.2", "10.0.0.1");
  const AdapterRecord idle = Adapter({0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, "0.0.0.0", "0.0.0.0");
  const AdapterRecord idle2 = Adapter({0x0F, 0x0E, 0x0D, 0x0C, 0x0B, 0x0A}, "0.0.0.0", "0.0.0.0");
  const AdapterRecord emptyTexts = Adapter({0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01}, "", "");
  AdapterRecord longAddress = Adapter({1, 2, 3, 4, 5, 6, 7, 8}, "10.1.1.1", "0.0.0.0");
  struct Case {
    const char* name;
    std::vector<AdapterRecord> adapters;
    std::string expected;
  };
  const Case cases[] = {
      {"later gateway beats earlier IP", {noGateway, withGateway}, "AABBCC0D0E0F"},
      {"IP pass when no gateway", {idle, noGateway}, "001122334455"},
      {"first of several in list order",
       {withGateway, Adapter({9, 9, 9, 9, 9, 9}, "1.1.1.1", "1.1.1.254")},
       "AABBCC0D0E0F"},
      {"all zero: none", {idle, idle2}, ""},
      {"no adapters: none", {}, ""},
      // Only the exact text "0.0.0.0" disqualifies; an empty text does not.
      {"empty gateway text qualifies", {idle, emptyTexts}, "DEADBEEF0001"},
      {"only six address bytes are used", {longAddress}, "010203040506"},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseAdapterId(c.adapters), c.expected) << c.name;
}

TEST(FormatUptimeId, LastReadingFirstCutToTwelve) {
  struct Case {
    uint32_t a, b, c;
    std::string expected;
  };
  const Case cases[] = {
      {0x1, 0x2, 0x3, "000300020001"},
      {0xABCD, 0xABCE, 0xABCF, "ABCFABCEABCD"},
      {0x12345, 0x12346, 0x12347, "123471234612"},  // five digits each, cut
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "FFFFFFFFFFFF"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatUptimeId(c.a, c.b, c.c), c.expected) << c.expected;
}

// A registry stand-in for the resolution logic: records reads, writes and
// whether the adapters were listed.
struct FakeSystem {
  std::wstring cache;
  bool listed = false;
  int writes = 0;
  bool adaptersAvailable = true;
  std::vector<AdapterRecord> adapters;
  uint32_t clock = 0x1000;

  DeviceIdSources Sources() {
    DeviceIdSources s;
    s.readCache = [this] { return cache; };
    s.writeCache = [this](const std::wstring& text) {
      cache = text;
      ++writes;
    };
    s.listAdapters = [this](std::vector<AdapterRecord>& out) {
      listed = true;
      out = adapters;
      return adaptersAvailable;
    };
    s.uptimeMs = [this] { return clock++; };
    return s;
  }
};

TEST(ResolveDeviceId, CacheKeptOrReplaced) {
  const std::vector<AdapterRecord> realAdapters = {
      Adapter({0x52, 0x54, 0x00, 0x12, 0x34, 0x56}, "10.0.2.15", "10.0.2.2")};
  struct Case {
    const char* name;
    std::wstring cache;
    bool adaptersAvailable;
    std::vector<AdapterRecord> adapters;
    std::string expected;
    bool expectListed;
  };
  const Case cases[] = {
      {"12 characters kept", EncryptText(L"ABCDEF012345", kUtf8), true, realAdapters, "ABCDEF012345", false},
      {"12 characters kept whatever they are", EncryptText(L"not hex at**", kUtf8), true, realAdapters,
       "not hex at**", false},
      {"11 characters replaced", EncryptText(L"ABCDEF01234", kUtf8), true, realAdapters, "525400123456",
       true},
      {"13 characters replaced", EncryptText(L"ABCDEF0123456", kUtf8), true, realAdapters, "525400123456",
       true},
      {"garbage replaced", L"not a cipher text", true, realAdapters, "525400123456", true},
      {"missing value", L"", true, realAdapters, "525400123456", true},
      {"no adapter list: uptime", L"", false, {}, "100210011000", true},
      {"no qualifying adapter: uptime",
       L"",
       true,
       {Adapter({1, 2, 3, 4, 5, 6}, "0.0.0.0", "0.0.0.0")},
       "100210011000",
       true},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.cache = c.cache;
    system.adaptersAvailable = c.adaptersAvailable;
    system.adapters = c.adapters;
    EXPECT_EQ(ResolveDeviceId(system.Sources()), c.expected) << c.name;
    EXPECT_EQ(system.listed, c.expectListed) << c.name;
    if (c.expectListed) {
      EXPECT_EQ(system.writes, 1) << c.name;
      EXPECT_EQ(system.cache.size(), 32u) << c.name;
      EXPECT_EQ(WideToUtf8(DecryptText(system.cache, kUtf8)), c.expected) << c.name;
    } else {
      EXPECT_EQ(system.writes, 0) << c.name;
      EXPECT_EQ(system.cache, c.cache) << c.name;
    }
  }
}

// The uptime fallback is cached like an adapter address, so it stays.
TEST(ResolveDeviceId, FallbackStableOnceCached) {
  FakeSystem system;
  system.adaptersAvailable = false;
  std::string first = ResolveDeviceId(system.Sources());
  system.clock = 0x9999;
  EXPECT_EQ(ResolveDeviceId(system.Sources()), first);
  EXPECT_EQ(system.writes, 1);
}

TEST(CopyDeviceId, FitsOrCutsAtCharacterBoundary) {
  struct Case {
    const char* name;
    std::string id;
    size_t capacity;
    std::string expected;
  };
  const Case cases[] = {
      {"identifier into 13 bytes", "0A1B2C3D4E5F", 13, "0A1B2C3D4E5F"},
      {"identifier into 100 bytes", "0A1B2C3D4E5F", 100, "0A1B2C3D4E5F"},
      {"cut", "0A1B2C3D4E5F", 5, "0A1B"},
      {"multibyte not split", "ab\xC3\xBC", 4, "ab"},
      {"one byte: just the zero", "x", 1, ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(c.capacity + 4, '#');
    CopyDeviceId(c.id, buffer.data(), c.capacity);
    EXPECT_EQ(std::string(buffer.data()), c.expected) << c.name;
    EXPECT_EQ(buffer[c.capacity], '#') << c.name << ": wrote past the capacity";
  }
}

// The platform binding: whatever the machine, the identifier has 12
// characters and the same one comes back on the next call.
TEST(GetDeviceId, TwelveCharactersAndStable) {
  char buffer[100] = {};
  std::string id = GetDeviceId(buffer, sizeof buffer);
  ASSERT_EQ(id.size(), 12u);
  EXPECT_EQ(std::string(buffer), id);
  for (char ch : id) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(ch)) && !std::islower(ch)) << id;
  EXPECT_EQ(GetDeviceId(), id);
}

TEST(GetCpuBrand, SameTextEveryTime) {
  std::string first = GetCpuBrand();
  EXPECT_LE(first.size(), 48u);
  EXPECT_EQ(first.find('\0'), std::string::npos);
  EXPECT_EQ(GetCpuBrand(), first);
}

}  // namespace
