#include "base/run_log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "base/debug_output.h"
#include "base/guarded_thread.h"
#include "base/text_convert.h"
#include "base/unique_file.h"
#include "base/win_handle.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#endif

namespace {

constexpr size_t kMaxQueuedLines = 4096;

// Paths are UTF-8 in this interface; on Windows every file call takes the
// wide form, so a temporary folder in any script works. std::filesystem is
// not used: it drags the whole locale machinery into the stub.
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
  return folder + kSeparator + name;
}

struct FoundLog {
  uint64_t written;  // last write time, in the platform's own units
  std::string path;
};

// The regular files "<prefix><decimal digits>.log" directly in `folder`:
// never a folder, a link or a junction, whatever its name. The folder is
// the user's; the process may run elevated.
std::vector<FoundLog> ListLogs(const std::string& folder, const std::string& prefix) {
  std::vector<FoundLog> logs;
  auto matches = [&](const std::string& name) {
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".log") != 0)
      return false;
    for (size_t i = prefix.size(); i < name.size() - 4; ++i)
      if (name[i] < '0' || name[i] > '9') return false;
    return true;
  };
#ifdef _WIN32
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(Utf8ToWide(JoinPath(folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return logs;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const std::string name = WideToUtf8(found.cFileName);
    if (!matches(name)) continue;
    const uint64_t written = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                             found.ftLastWriteTime.dwLowDateTime;
    logs.push_back({written, JoinPath(folder, name)});
  } while (FindNextFileW(search, &found));
  FindClose(search);
#else
  DIR* dir = opendir(folder.c_str());
  if (!dir) return logs;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!matches(name)) continue;
    const std::string path = JoinPath(folder, name);
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const uint64_t written = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                             static_cast<uint64_t>(info.st_mtim.tv_nsec);
    logs.push_back({written, path});
  }
  closedir(dir);
#endif
  return logs;
}

// A new file at `path`, for appending: never an existing one, and never
// through a link. A regular file already there (an old log of a process with
// the same id, or a file planted there) loses its name first; deleting
// removes the name only, not what a link or a second hard link points to.
// Anything else there (a link, a junction, a folder) means no log. Null when
// there is no new file.
std::FILE* CreateNewLog(const std::string& path) {
#ifdef _WIN32
  const std::wstring wide = Utf8ToWide(path);
  for (int attempt = 0; attempt < 2; ++attempt) {
    UniqueHandle h(CreateFileW(wide.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h) {
      const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h.get()), _O_APPEND | _O_BINARY);
      if (fd < 0) return nullptr;
      h.release();  // the descriptor owns it now
      std::FILE* file = _fdopen(fd, "ab");
      if (!file) _close(fd);
      return file;
    }
    const DWORD error = GetLastError();
    if (attempt > 0 || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) return nullptr;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || !DeleteFileW(wide.c_str()))
      return nullptr;
  }
  return nullptr;
#else
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      std::FILE* file = ::fdopen(fd, "ab");
      if (!file) ::close(fd);
      return file;
    }
    struct stat info {};
    if (attempt > 0 || errno != EEXIST || ::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::unlink(path.c_str()) != 0)
      return nullptr;
  }
  return nullptr;
#endif
}

bool RemoveFile(const std::string& path) {
#ifdef _WIN32
  return DeleteFileW(Utf8ToWide(path).c_str()) != 0;
#else
  return std::remove(path.c_str()) == 0;
#endif
}

#ifdef _WIN32
std::string Stamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds);
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
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
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
  bool Start() {
    ThreadStart start = StartGuardedThread("run log writer", [this] { Loop(); });
    thread = std::move(start.thread);
    return start.started;
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
    thread.Join();
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
      for (const std::string& line : batch) std::fputs(line.c_str(), file.get());
      std::fflush(file.get());
      guard.lock();
      if (last && queue.empty()) return;
    }
  }

  UniqueFile file;  // closed after the thread has ended
  std::mutex lock;
  std::condition_variable wake;
  std::deque<std::string> queue;
  bool stopping = false;
  GuardedThread thread;
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

void PruneRunLogs(const std::string& folder, const std::string& program, unsigned keep, const std::string& own) {
  std::vector<FoundLog> logs = ListLogs(folder, program + "_");
  if (!own.empty()) {
    const std::string ownPath = JoinPath(folder, own);
    logs.erase(std::remove_if(logs.begin(), logs.end(), [&](const FoundLog& l) { return l.path == ownPath; }),
               logs.end());
  }
  if (logs.size() <= keep) return;
  std::sort(logs.begin(), logs.end(), [](const FoundLog& a, const FoundLog& b) {
    return a.written != b.written ? a.written < b.written : a.path < b.path;
  });
  for (size_t i = 0; i + keep < logs.size(); ++i) RemoveFile(logs[i].path);
}

std::string StartRunLog(const std::string& folder, const std::string& program, unsigned long pid,
                        unsigned keep) {
  if (folder.empty()) return std::string();
  {
    std::lock_guard<std::mutex> guard(writerLock);
    if (writer) return std::string();
  }
  // This run's log counts among those kept, whether it is new or (a process
  // id that came again) already there.
  PruneRunLogs(folder, program, keep > 0 ? keep - 1 : 0, RunLogName(program, pid));
  const std::string path = JoinPath(folder, RunLogName(program, pid));
  std::FILE* file = CreateNewLog(path);
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
  return path;
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
