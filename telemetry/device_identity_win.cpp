// The device identity texts from the Windows registry, the IP helper and the
// system clock.
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <memory>

#include "base/text_convert.h"
#include "base/registry_win.h"
#include "telemetry/device_id.h"
#include "telemetry/device_identity.h"

namespace {

const wchar_t kCacheKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Quorvanebala";
const wchar_t kCacheValue[] = L"assssr_addr";
constexpr DWORD kRegTextChars = 260;

std::wstring ReadCache() {
  wchar_t text[kRegTextChars] = {};
  GetRegString(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue, text, sizeof text, L"");
  return text;
}

void WriteCache(const std::wstring& text) {
  SetRegString(HKEY_LOCAL_MACHINE, kCacheKey, kCacheValue, text, true);
}

}  // namespace

// Only an ERROR_BUFFER_OVERFLOW answer to the sizing call leads to a list.
bool ListNetworkAdapters(std::vector<AdapterRecord>& adapters) {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
  std::unique_ptr<unsigned char[]> storage(new unsigned char[size]);
  auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(storage.get());
  if (GetAdaptersInfo(list, &size) != ERROR_SUCCESS) return false;
  for (IP_ADAPTER_INFO* a = list; a; a = a->Next) {
    AdapterRecord record;
    static_assert(sizeof a->Address >= 6, "hardware address field");
    std::memcpy(record.address, a->Address,
                sizeof record.address < sizeof a->Address ? sizeof record.address : sizeof a->Address);
    record.ipAddress = a->IpAddressList.IpAddress.String;
    record.gateway = a->GatewayList.IpAddress.String;
    adapters.push_back(std::move(record));
  }
  return true;
}

std::string GetDeviceId(char* buffer, size_t capacity) {
  DeviceIdSources sources;
  sources.readCache = ReadCache;
  sources.writeCache = WriteCache;
  sources.listAdapters = ListNetworkAdapters;
  sources.uptimeMs = [] { return static_cast<uint32_t>(GetTickCount()); };
  std::string id = ResolveDeviceId(sources);
  CopyDeviceId(id, buffer, capacity);
  return id;
}

std::string GetOsDescription() {
  const wchar_t kSearchKey[] = L"SOFTWARE\\Microsoft\\Windows Desktop Search";
  wchar_t version[kRegTextChars] = {};
  GetRegString(HKEY_LOCAL_MACHINE, kSearchKey, L"Version", version, sizeof version, L"");
  if (version[0] == L'\0' || std::wstring(version) == L"0")
    GetRegString(HKEY_LOCAL_MACHINE, kSearchKey, L"Version", version, sizeof version, L"");

  std::wstring description = L"windows";
  description += version;
  // The system's architecture, not this process's: a 32-bit and a 64-bit
  // build on the same Windows describe it the same way.
  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  description += system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? L"x86" : L"x64";
  return WideToAnsi(description);
}
