#include "net/throughput_ranking.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "base/debug_output.h"
#include "base/guarded_thread.h"
#include "base/system_info.h"
#include "net/curl_handle.h"
#include "net/transfer_policy.h"

namespace {

const int64_t kByteLimit = 2 * 1024 * 1024;
const long kConnectLimitMs = 3000;
const int kPollMs = 20;
const size_t kMostProbes = 6;

// The progress callback's view of one probe; lives on the probe thread's stack.
struct ProbeContext {
  uint64_t startMs;
  int64_t windowMs;
  int64_t byteLimit;
  std::atomic<bool>* reachedLimit;
  std::atomic<bool>* stopFlag;
};

size_t DiscardWriter(char*, size_t size, size_t count, void*) { return size * count; }

int ProbeProgress(void* context, double, double downloadedNow, double, double) {
  auto* probe = static_cast<ProbeContext*>(context);
  if (!probe) return 0;
  if (probe->stopFlag->load()) return 1;
  if (probe->byteLimit > 0 && static_cast<int64_t>(downloadedNow) >= probe->byteLimit) {
    probe->reachedLimit->store(true);
    return 1;
  }
  if (static_cast<int64_t>(TickCount64() - probe->startMs) >= probe->windowMs) return 1;
  return 0;
}

SpeedSample MeasureDomain(const std::string& url, int64_t windowMs, int64_t byteLimit,
                          long transferLimitSeconds, const TransferPolicy& policy, WorkerSlot* slot,
                          std::atomic<bool>* stopFlag) {
  SpeedSample sample;
  CurlHandle owner = CurlHandle::Create();
  CURL* handle = owner.get();
  if (!handle) return sample;
  ProbeContext context{TickCount64(), windowMs, byteLimit, &slot->reachedLimit, stopFlag};

  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardWriter);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_PROGRESSFUNCTION, &ProbeProgress);
  curl_easy_setopt(handle, CURLOPT_PROGRESSDATA, &context);
  // The server hands out no more than the probe reads: what it pushes ahead
  // into the connection before the probe leaves would be lost at the
  // vendor's cost. A server that ignores the range sends the file, and the
  // probe still ends at the limit.
  const std::string range = "0-" + std::to_string(byteLimit - 1);
  if (byteLimit > 0) curl_easy_setopt(handle, CURLOPT_RANGE, range.c_str());
  TransferLimits limits;
  limits.connectTimeoutMs = kConnectLimitMs;
  limits.timeoutSeconds = transferLimitSeconds;

  const int rc = PerformTransfer(handle, url, policy, limits);
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if ((rc == CURLE_OK || rc == CURLE_ABORTED_BY_CALLBACK) && status >= 200 && status <= 299) {
    curl_off_t bytes = 0;
    double totalSeconds = 0, connectSeconds = 0;
    curl_easy_getinfo(handle, CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    curl_easy_getinfo(handle, CURLINFO_TOTAL_TIME, &totalSeconds);
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME, &connectSeconds);
    sample.bytes = static_cast<int64_t>(bytes);
    sample.totalMs = static_cast<int32_t>(totalSeconds * 1000);
    sample.connectMs = static_cast<int32_t>(connectSeconds * 1000);
    sample.ok = true;
    // The ranged answer may end exactly at the limit before any progress
    // call has seen it.
    if (byteLimit > 0 && sample.bytes >= byteLimit) slot->reachedLimit.store(true);
  }
  return sample;
}

// Starts one probe on a thread of its own: it measures, publishes the
// sample, then sets `done`, also when the measurement ended by an exception
// (a failed probe with a zero sample). False when no thread could be made.
// The ranking does not wait for a probe past its deadline, so the thread is
// let go; it shares everything it touches.
bool StartProbe(std::shared_ptr<WorkerSlot> slot, int64_t windowMs, int64_t byteLimit,
                std::shared_ptr<std::atomic<bool>> stopFlag, std::string url, long transferLimitSeconds,
                const TransferPolicy& policy) {
  ThreadStart start = StartGuardedThread(
      "throughput probe",
      [slot, windowMs, byteLimit, stopFlag, url = std::move(url), transferLimitSeconds, policy] {
        slot->sample =
            MeasureDomain(url, windowMs, byteLimit, transferLimitSeconds, policy, slot.get(), stopFlag.get());
      },
      [slot] { slot->done.store(true); });
  start.thread.Detach();
  return start.started;
}

}  // namespace

std::string FormatSpeedSample(const SpeedSample& sample, int windowMs) {
  if (!sample.ok) return "Fail";
  double seconds = sample.totalMs >= 1 ? sample.totalMs / 1000.0 : windowMs / 1000.0;
  char text[128];
  std::snprintf(text, sizeof text, "%.0fKB/s(%lldB/%dms, connect %dms)",
                static_cast<double>(sample.bytes) / 1024 / seconds, static_cast<long long>(sample.bytes),
                static_cast<int>(sample.totalMs), static_cast<int>(sample.connectMs));
  return text;
}

DomainList DistinctDomains(const DomainList& domains) {
  DomainList distinct;
  for (const std::string& domain : domains)
    if (std::find(distinct.begin(), distinct.end(), domain) == distinct.end()) distinct.push_back(domain);
  return distinct;
}

RankedDomains CheckThroughputAndSortDomains(const DomainList& listed, const std::string& path, int seconds,
                                            const TransferPolicy& policy) {
  // A domain listed twice is one domain: one probe, one download attempt, at
  // the place of its first entry.
  const DomainList domains = DistinctDomains(listed);
  RankedDomains ranked;
  for (const std::string& domain : domains) ranked.push_back({domain, SpeedSample()});
  if (domains.size() < 2) {
    DebugOut("CheckThroughputAndSortDomains not need domains count is " + std::to_string(domains.size()));
    return ranked;
  }
  try {
    const int64_t windowMs = static_cast<int64_t>(seconds) * 1000;
    const long transferLimitSeconds = seconds + 2;
    auto stopFlag = std::make_shared<std::atomic<bool>>(false);
    // Every probe reads up to 2 MiB that are thrown away, at the vendor's
    // cost: only the first few domains are measured, the rest keep their
    // order behind them (as failed probes do).
    const size_t probed = std::min(domains.size(), kMostProbes);
    std::vector<std::shared_ptr<WorkerSlot>> slots;
    slots.reserve(probed);
    for (size_t k = 0; k < probed; ++k) {
      auto slot = std::make_shared<WorkerSlot>();
      slots.push_back(slot);
      if (!StartProbe(slot, windowMs, kByteLimit, stopFlag, domains[k] + path, transferLimitSeconds, policy))
        slot->done.store(true);  // no thread: a failed probe with a zero sample
    }

    const size_t needed = slots.size() == 3 ? 2 : std::min<size_t>(slots.size(), 3);
    const uint64_t deadlineMs = static_cast<uint64_t>(seconds + 2) * 1000 + 500;
    const uint64_t startMs = TickCount64();
    for (;;) {
      if (TickCount64() - startMs >= deadlineMs) break;
      size_t done = 0, reached = 0;
      for (const auto& slot : slots) {
        bool isDone = slot->done.load();
        if (isDone) ++done;
        // A probe that reached the limit counts once it has published its
        // sample (microseconds later), so a fast domain is not ranked as failed.
        if (isDone && slot->reachedLimit.load()) ++reached;
      }
      if (done == slots.size() || reached >= needed) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    stopFlag->store(true);

    for (size_t k = 0; k < slots.size(); ++k)
      ranked[k].sample = slots[k]->done.load() ? slots[k]->sample : SpeedSample();
    std::stable_sort(ranked.begin(), ranked.end(), [](const RankedDomain& a, const RankedDomain& b) {
      return a.sample.bytes > b.sample.bytes;
    });

    std::string line = "Domain Throughput Sort Result: ";
    for (size_t k = 0; k < ranked.size(); ++k) {
      if (k > 0) line += ", ";
      line += "[" + ranked[k].domain + ": " + FormatSpeedSample(ranked[k].sample, static_cast<int>(windowMs)) + "]";
    }
    DebugOut(line);
  } catch (...) {
    DebugOut("CheckThroughputAndSortDomains failed\n");
  }
  return ranked;
}
