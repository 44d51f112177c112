// Download domains and their throughput samples, shared by the directory,
// the ranking and the package download.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Ordered download base URLs ("https://host", no trailing slash); first = main.
using DomainList = std::vector<std::string>;

// One domain's probe result; all zero (ok false) for a failed or unfinished probe.
struct SpeedSample {
  int64_t bytes = 0;
  int32_t totalMs = 0;
  int32_t connectMs = 0;
  bool ok = false;
};

// A domain with its ranking sample (all zero when it was not probed).
struct RankedDomain {
  std::string domain;
  SpeedSample sample;
};

// Download domains in ranked order, best first.
using RankedDomains = std::vector<RankedDomain>;
