#include "telemetry/device_id.h"

#include <cstdio>
#include <cstring>

#include "base/text_convert.h"
#include "telemetry/text_cipher.h"

namespace {
constexpr unsigned kUtf8 = 65001;
constexpr size_t kIdLength = 12;

std::string FormatAddress(const uint8_t* a) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  return text;
}
}  // namespace

std::string ChooseAdapterId(const std::vector<AdapterRecord>& adapters) {
  for (const AdapterRecord& a : adapters)
    if (a.gateway != "0.0.0.0") return FormatAddress(a.address);
  for (const AdapterRecord& a : adapters)
    if (a.ipAddress != "0.0.0.0") return FormatAddress(a.address);
  return {};
}

std::string FormatUptimeId(uint32_t first, uint32_t second, uint32_t third) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X%04X%04X", static_cast<unsigned>(third),
                static_cast<unsigned>(second), static_cast<unsigned>(first));
  return std::string(text).substr(0, kIdLength);
}

std::string ResolveDeviceId(const DeviceIdSources& sources) {
  std::wstring cached = sources.readCache();
  if (!cached.empty()) {
    std::wstring plain = DecryptText(cached, kUtf8);
    if (plain.size() == kIdLength) return WideToCodePage(plain, kUtf8);
  }

  std::vector<AdapterRecord> adapters;
  std::string id;
  if (sources.listAdapters(adapters)) id = ChooseAdapterId(adapters);
  if (id.empty()) {
    uint32_t first = sources.uptimeMs();
    uint32_t second = sources.uptimeMs();
    uint32_t third = sources.uptimeMs();
    id = FormatUptimeId(first, second, third);
  }
  sources.writeCache(EncryptText(Utf8ToWide(id), kUtf8));
  return id;
}

void CopyDeviceId(const std::string& id, char* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return;
  size_t n = id.size();
  if (n > capacity - 1) {
    n = capacity - 1;
    // Back off over continuation bytes so that no character is split.
    while (n > 0 && (static_cast<unsigned char>(id[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buffer, id.data(), n);
  buffer[n] = '\0';
}
