// Device identity against the real (Wine) registry and IP helper.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/text_convert.h"
#include "base/win_handle.h"
#include "base/registry_win.h"
#include "telemetry/device_id.h"
#include "telemetry/device_identity.h"
#include "telemetry/text_cipher.h"

namespace {

constexpr unsigned kUtf8 = 65001;
const wchar_t kCacheKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Quorvanebala";
const wchar_t kCacheValue[] = L"assssr_addr";
const wchar_t kSearchKey[] = L"SOFTWARE\\Microsoft\\Windows Desktop Search";

std::wstring ReadCache() {
  wchar_t text[260] = {};
  GetRegString(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue, text, sizeof text, L"");
  return text;
}

bool IsIdentifier(const std::string& id) {
  if (id.size() != 12) return false;
  for (char c : id)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

TEST(DeviceIdWin, AdaptersAreListed) {
  std::vector<AdapterRecord> adapters;
  ASSERT_TRUE(ListNetworkAdapters(adapters));
  ASSERT_FALSE(adapters.empty());
  for (const AdapterRecord& a : adapters) EXPECT_FALSE(a.ipAddress.empty());
}

// What the cache holds decides: 12 characters stay, anything else is
// replaced by the identifier of this machine's adapters.
TEST(DeviceIdWin, RegistryCacheKeptOrReplaced) {
  std::vector<AdapterRecord> adapters;
  ListNetworkAdapters(adapters);
  const std::string adapterId = ChooseAdapterId(adapters);

  struct Case {
    const char* name;
    bool present;
    std::wstring stored;
    std::string kept;  // empty: replaced
  };
  const Case cases[] = {
      {"12 characters kept", true, EncryptText(L"ABCDEF012345", kUtf8), "ABCDEF012345"},
      {"12 odd characters kept", true, EncryptText(L"zz-yy_xx.ww!", kUtf8), "zz-yy_xx.ww!"},
      {"11 characters replaced", true, EncryptText(L"ABCDEF01234", kUtf8), ""},
      {"13 characters replaced", true, EncryptText(L"ABCDEF0123456", kUtf8), ""},
      {"not a cipher text replaced", true, L"hello registry", ""},
      {"empty value replaced", true, L"", ""},
      {"too long for the buffer replaced", true, std::wstring(300, L'A'), ""},
      {"missing value replaced", false, L"", ""},
  };
  for (const Case& c : cases) {
    DeleteRegValue(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue);
    if (c.present) SetRegString(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue, c.stored, true);
    char buffer[100] = {};
    std::string id = GetDeviceId(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), id) << c.name;
    if (!c.kept.empty()) {
      EXPECT_EQ(id, c.kept) << c.name;
      EXPECT_EQ(ReadCache(), c.stored) << c.name << ": a kept value is not rewritten";
      continue;
    }
    EXPECT_TRUE(IsIdentifier(id)) << c.name << ": " << id;
    if (!adapterId.empty()) {
      EXPECT_EQ(id, adapterId) << c.name;
    }
    std::wstring stored = ReadCache();
    EXPECT_EQ(stored.size(), 32u) << c.name;
    EXPECT_EQ(WideToUtf8(DecryptText(stored, kUtf8)), id) << c.name;
    // The next call reads the new value and keeps it.
    EXPECT_EQ(GetDeviceId(), id) << c.name;
  }
  DeleteRegValue(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue);
}

TEST(DeviceIdWin, CacheIsAStringWithItsZeroCounted) {
  DeleteRegValue(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue);
  GetDeviceId();
  RegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCacheKey, 0, KEY_READ | KEY_WOW64_32KEY, key.put()), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), kCacheValue, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 33u * sizeof(wchar_t));
}

// The prefix is a 64-bit Windows: the 32-bit build runs under WOW64, the
// 64-bit build natively, and both describe the system as "x64".
TEST(OsDescriptionWin, SearchVersionAndBitness) {
  struct Case {
    const char* name;
    bool present;
    std::wstring version;
    std::string expected;
  };
  const Case cases[] = {
      {"no search key", false, L"", "windowsx64"},
      {"version", true, L"7.0.7601.17514", "windows7.0.7601.17514x64"},
      {"zero read twice, kept", true, L"0", "windows0x64"},
      {"empty", true, L"", "windowsx64"},
  };
  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  ASSERT_EQ(system.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64) << "expected a 64-bit prefix";
  for (const Case& c : cases) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kSearchKey, KEY_WOW64_32KEY, 0);
    if (c.present) SetRegString(HKEY_LOCAL_MACHINE, kSearchKey, L"Version", c.version, true);
    EXPECT_EQ(GetOsDescription(), c.expected) << c.name;
  }
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kSearchKey, KEY_WOW64_32KEY, 0);
}

}  // namespace
