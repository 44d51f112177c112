#include <cstring>

#include "telemetry/device_identity.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {
std::string ReadCpuBrand() {
  char brand[49] = {};
#if defined(__i386__) || defined(__x86_64__)
  unsigned maxLeaf = __get_cpuid_max(0x80000000, nullptr);
  if (maxLeaf < 0x80000004) return {};
  for (unsigned i = 0; i < 3; ++i) {
    unsigned regs[4] = {};
    __cpuid(0x80000002 + i, regs[0], regs[1], regs[2], regs[3]);
    std::memcpy(brand + 16 * i, regs, sizeof regs);
  }
#endif
  return std::string(brand);  // up to the first zero byte
}
}  // namespace

std::string GetCpuBrand() {
  // A function-local static: safe under concurrent first use.
  static const std::string brand = ReadCpuBrand();
  return brand;
}
