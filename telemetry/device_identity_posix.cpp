// Native counterparts of the device identity sources: the interfaces from
// getifaddrs with the gateways of /proc/net/route, the monotonic clock, and a
// cache that lives as long as the process (there is no registry).
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "base/system_info.h"
#include "telemetry/device_id.h"
#include "telemetry/device_identity.h"

namespace {

std::mutex cacheLock;
std::wstring& CacheText() {
  static std::wstring text;
  return text;
}

std::string AddressText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// Interface name -> first gateway text, from the kernel's routing table.
std::map<std::string, std::string> Gateways() {
  std::map<std::string, std::string> gateways;
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // column titles
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string name, destination, gatewayHex;
    if (!(fields >> name >> destination >> gatewayHex)) continue;
    unsigned long raw = std::strtoul(gatewayHex.c_str(), nullptr, 16);
    if (raw == 0 || gateways.count(name)) continue;
    in_addr address{};
    address.s_addr = static_cast<in_addr_t>(raw);  // already in network order
    gateways[name] = AddressText(address);
  }
  return gateways;
}

}  // namespace

bool ListNetworkAdapters(std::vector<AdapterRecord>& adapters) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  std::map<std::string, std::string> gateways = Gateways();
  std::map<std::string, size_t> index;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK)) continue;
    std::string name = a->ifa_name;
    if (!index.count(name)) {
      index[name] = adapters.size();
      AdapterRecord record;
      record.ipAddress = "0.0.0.0";
      record.gateway = gateways.count(name) ? gateways[name] : "0.0.0.0";
      adapters.push_back(record);
    }
    AdapterRecord& record = adapters[index[name]];
    if (a->ifa_addr->sa_family == AF_PACKET) {
      auto* link = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
      std::memcpy(record.address, link->sll_addr, std::min<size_t>(link->sll_halen, sizeof record.address));
    } else if (a->ifa_addr->sa_family == AF_INET && record.ipAddress == "0.0.0.0") {
      record.ipAddress = AddressText(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr);
    }
  }
  freeifaddrs(list);
  return true;
}

std::string GetDeviceId(char* buffer, size_t capacity) {
  DeviceIdSources sources;
  sources.readCache = [] {
    std::lock_guard<std::mutex> lock(cacheLock);
    return CacheText();
  };
  sources.writeCache = [](const std::wstring& text) {
    std::lock_guard<std::mutex> lock(cacheLock);
    CacheText() = text;
  };
  sources.listAdapters = ListNetworkAdapters;
  sources.uptimeMs = [] { return static_cast<uint32_t>(TickCount64()); };
  std::string id = ResolveDeviceId(sources);
  CopyDeviceId(id, buffer, capacity);
  return id;
}

std::string GetOsDescription() { return sizeof(void*) == 8 ? "linuxx64" : "linuxx86"; }
