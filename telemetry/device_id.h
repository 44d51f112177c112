// How the device identifier is chosen and cached, apart from where the
// adapters, the clock and the cache come from, so that the choice can be
// tested anywhere. GetDeviceId (device_identity.h) binds it to the system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One network adapter as the system lists it.
struct AdapterRecord {
  uint8_t address[8] = {};  // hardware address; the first six bytes are used
  std::string ipAddress;    // text of the adapter's first IP address
  std::string gateway;      // text of the adapter's first gateway address
};

// The adapter-based identifier: the first adapter (in list order) whose
// gateway is not "0.0.0.0", else the first whose IP address is not
// "0.0.0.0", formatted as 12 upper-case hex digits. Empty when none qualifies.
std::string ChooseAdapterId(const std::vector<AdapterRecord>& adapters);

// The fallback from three uptime readings (milliseconds), the last first,
// each "%04X", cut to 12 characters.
std::string FormatUptimeId(uint32_t first, uint32_t second, uint32_t third);

// What resolving the identifier needs from the platform.
struct DeviceIdSources {
  std::function<std::wstring()> readCache;                        // "" when missing or unusable
  std::function<void(const std::wstring&)> writeCache;            // failures ignored
  std::function<bool(std::vector<AdapterRecord>&)> listAdapters;  // false: no list
  std::function<uint32_t()> uptimeMs;
};

// The cached identifier when it deciphers to exactly 12 characters (adapters
// are then not listed and nothing is written); otherwise a new one from the
// adapters or the uptime, enciphered into the cache.
std::string ResolveDeviceId(const DeviceIdSources& sources);

// The system's network adapters in its order (GetAdaptersInfo on Windows).
// False when there is no list.
bool ListNetworkAdapters(std::vector<AdapterRecord>& adapters);

// Copies `id` into `buffer` (capacity bytes) with a terminating zero, cut at a
// UTF-8 character boundary when it does not fit. Nothing when buffer is null
// or capacity is 0.
void CopyDeviceId(const std::string& id, char* buffer, size_t capacity);
