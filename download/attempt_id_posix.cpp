#include <cstdio>
#include <random>

#include "download/package_download.h"

std::string MakeAttemptId() {
  std::random_device device;
  std::mt19937_64 generator((static_cast<uint64_t>(device()) << 32) ^ device());
  const uint64_t high = generator(), low = generator();
  char text[33];
  std::snprintf(text, sizeof(text), "%016llX%016llX", static_cast<unsigned long long>(high),
                static_cast<unsigned long long>(low));
  return text;
}
