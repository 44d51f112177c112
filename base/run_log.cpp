#include "base/run_log.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "base/debug_output.h"
#include "base/text_convert.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxQueuedLines = 4096;

// Paths are UTF-8 in this interface; on Windows they become wide paths.
fs::path ToPath(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(Utf8ToWide(utf8));
#else
  return fs::path(utf8);
#endif
}

std::string FromPath(const fs::path& p) {
#ifdef _WIN32
  return WideToUtf8(p.wstring());
#else
  return p.string();
#endif
}

#ifdef _WIN32
std::string Stamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
  return buf;
}

// The id a debugger shows for the thread.
std::string ThreadId() { return std::to_string(GetCurrentThreadId()); }
#else
std::string Stamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
  return buf;
}

std::string ThreadId() {
  std::ostringstream s;
  s << std::this_thread::get_id();
  return s.str();
}
#endif

class Writer {
 public:
  explicit Writer(std::FILE* file) : file(file) {}
  ~Writer() {
    if (file) std::fclose(file);
  }
  bool Start() {
    try {
      thread = std::thread([this] { Loop(); });
      return true;
    } catch (...) {
      return false;
    }
  }
  void Add(std::string line) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (stopping || queue.size() >= kMaxQueuedLines) return;
      queue.push_back(std::move(line));
    }
    wake.notify_one();
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> guard(lock);
      stopping = true;
    }
    wake.notify_one();
    if (thread.joinable()) thread.join();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      wake.wait(guard, [this] { return stopping || !queue.empty(); });
      std::deque<std::string> batch;
      batch.swap(queue);
      const bool last = stopping;
      guard.unlock();
      for (const std::string& line : batch) std::fputs(line.c_str(), file);
      std::fflush(file);
      guard.lock();
      if (last && queue.empty()) return;
    }
  }

  std::FILE* file;
  std::mutex lock;
  std::condition_variable wake;
  std::deque<std::string> queue;
  bool stopping = false;
  std::thread thread;
};

std::mutex writerLock;
Writer* writer = nullptr;  // guarded by writerLock

void Append(const std::string& utf8) {
  std::string line = Stamp() + " [" + ThreadId() + "] " + utf8;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  line += '\n';
  std::lock_guard<std::mutex> guard(writerLock);
  if (writer) writer->Add(std::move(line));
}

}  // namespace

std::string RunLogName(const std::string& program, unsigned long pid) {
  return program + "_" + std::to_string(pid) + ".log";
}

void PruneRunLogs(const std::string& folder, const std::string& program, unsigned keep) {
  std::error_code ec;
  std::vector<std::pair<fs::file_time_type, fs::path>> logs;
  const std::string prefix = program + "_";
  for (fs::directory_iterator it(ToPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = FromPath(it->path().filename());
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".log") != 0)
      continue;
    std::error_code timeError;
    const auto when = fs::last_write_time(it->path(), timeError);
    if (!timeError) logs.emplace_back(when, it->path());
  }
  if (logs.size() <= keep) return;
  std::sort(logs.begin(), logs.end());
  for (size_t i = 0; i + keep < logs.size(); ++i) {
    std::error_code removeError;
    fs::remove(logs[i].second, removeError);
  }
}

std::string StartRunLog(const std::string& folder, const std::string& program, unsigned long pid, unsigned keep) {
  if (folder.empty()) return std::string();
  {
    std::lock_guard<std::mutex> guard(writerLock);
    if (writer) return std::string();
  }
  // This run's log counts among those kept.
  PruneRunLogs(folder, program, keep > 0 ? keep - 1 : 0);
  const fs::path path = ToPath(folder) / ToPath(RunLogName(program, pid));
#ifdef _WIN32
  std::FILE* file = _wfopen(path.wstring().c_str(), L"ab");
#else
  std::FILE* file = std::fopen(path.c_str(), "ab");
#endif
  if (!file) return std::string();
  auto* made = new Writer(file);
  if (!made->Start()) {
    delete made;
    return std::string();
  }
  {
    std::lock_guard<std::mutex> guard(writerLock);
    writer = made;
  }
  SetDebugLog(Append);
  return FromPath(path);
}

void StopRunLog() {
  SetDebugLog(nullptr);
  Writer* ending = nullptr;
  {
    std::lock_guard<std::mutex> guard(writerLock);
    std::swap(ending, writer);
  }
  if (!ending) return;
  ending->Stop();
  delete ending;
}
