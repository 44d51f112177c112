// Every request the simulator receives, appended as one JSON line to a file a
// test can read while the simulator runs. A line is complete and flushed
// before the answer goes out, so a client that has its answer finds its line.
#pragma once
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

struct RecordedRequest {
  std::string server;  // "api" or "domain"
  int domain = -1;     // index of the download domain
  std::string method;
  std::string path;  // without the query
  std::string query;
  std::multimap<std::string, std::string> headers;
  std::string body;
  int status = 0;        // the status the simulator answers with (0: none, connection reset)
  std::string fault;     // the fault applied, empty when none
  std::string encoding;  // "gzip" when the answer was compressed
};

class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // An empty path keeps nothing. False when the file cannot be created.
  bool Open(const std::string& path);
  void Add(const RecordedRequest& request);
  // Body bytes of the download file handed out, per domain: after every
  // answer the totals are written to `path` as one JSON object
  // {"0":N,"1":M,...,"total":T} (to path.tmp, then renamed). An empty path
  // counts without writing.
  void OpenBytes(const std::string& path) { bytesPath_ = path; }
  void CountBody(int domain, long long bytes);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  long long seq_ = 0;
  std::string bytesPath_;
  std::map<int, long long> bodyBytes_;  // guarded by mutex_
};

// Bytes that are not valid UTF-8 become U+0080..U+00FF (their Latin-1 reading),
// so any body can be stored in JSON and read back by a strict parser.
std::string SanitizeUtf8(const std::string& bytes);
