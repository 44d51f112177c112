// Ranking of download domains by a short parallel throughput probe.
#pragma once
#include <atomic>
#include <string>

#include "net/domains.h"
#include "net/transfer_policy.h"

// One domain's probe, shared by the ranking and its probe thread; whichever
// lets go last frees it. The probe writes `sample` once, then sets `done`;
// the ranking reads `sample` only after it has seen `done`.
struct WorkerSlot {
  SpeedSample sample;
  std::atomic<bool> done{false};
  std::atomic<bool> reachedLimit{false};  // set before the probe's transfer ends
};

// Probes the first six distinct domains at once (domain + `path`, for a
// window of `seconds`) and returns every distinct domain once, with its
// sample, most bytes first (stable); a duplicate entry is dropped, the first
// keeps its place, and the domains beyond the sixth follow with zero samples
// in directory order.
// Waits until enough probes have received 2 MiB or all are done, and never
// past (seconds + 2) * 1000 + 500 ms; probes still running then count as
// failed and end by themselves later. A list of fewer than 2 distinct
// domains is not probed and comes back in its order with zero samples. Writes the result as
// one debugger line. Blocks the caller; never throws. Probes take the same
// routes as every transfer (`policy`): behind a proxy that is the only way
// out, the ranking measures the way through it.
RankedDomains CheckThroughputAndSortDomains(const DomainList& domains, const std::string& path, int seconds,
                                            const TransferPolicy& policy);

// The domains in the order of their first entries, each once.
DomainList DistinctDomains(const DomainList& domains);

// The log entry of one sample: "Fail", or speed, bytes, time and connect time.
std::string FormatSpeedSample(const SpeedSample& sample, int windowMs);
