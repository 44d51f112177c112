// An InstallEvents that records what the workers report, for tests: any
// thread may report, the test reads (and waits) on its own thread.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "channel/install_events.h"

class RecordingInstallEvents : public InstallEvents {
 public:
  void OnDownloadProgress(double downloaded, double total) override {
    std::lock_guard<std::mutex> l(lock);
    download.emplace_back(downloaded, total);
  }
  void OnInstallerProgress(long percent) override {
    std::lock_guard<std::mutex> l(lock);
    installer.push_back(percent);
    changed.notify_all();
  }
  void OnFinished() override {
    std::lock_guard<std::mutex> l(lock);
    ++finished;
  }
  void OnFailed(const InstallFailure& failure) override {
    std::lock_guard<std::mutex> l(lock);
    failures.push_back(failure);
  }

  // The oldest installer percentage not yet taken, waiting up to `ms` for
  // one; -1 when none came.
  long NextInstallerProgress(int ms) {
    std::unique_lock<std::mutex> l(lock);
    if (!changed.wait_for(l, std::chrono::milliseconds(ms), [this] { return !installer.empty(); })) return -1;
    long v = installer.front();
    installer.pop_front();
    return v;
  }
  std::vector<long> TakeInstallerProgress() {
    std::lock_guard<std::mutex> l(lock);
    std::vector<long> all(installer.begin(), installer.end());
    installer.clear();
    return all;
  }
  std::vector<std::pair<double, double>> Download() {
    std::lock_guard<std::mutex> l(lock);
    return download;
  }
  std::vector<InstallFailure> Failures() {
    std::lock_guard<std::mutex> l(lock);
    return failures;
  }
  int Finished() {
    std::lock_guard<std::mutex> l(lock);
    return finished;
  }
  void Clear() {
    std::lock_guard<std::mutex> l(lock);
    installer.clear();
    download.clear();
    failures.clear();
    finished = 0;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  std::deque<long> installer;
  std::vector<std::pair<double, double>> download;
  std::vector<InstallFailure> failures;
  int finished = 0;
};
