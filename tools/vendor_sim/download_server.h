// One download domain: a small HTTP/1.1 server on 127.0.0.1 that serves the
// full installer at one path, with HEAD, single byte ranges, gzip, a
// per-connection rate and the faults of its DomainConfig. It is written on
// plain sockets because the faults need control below HTTP (a reset, a stall
// after some bytes, a close half-way).
#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "tools/vendor_sim/content.h"
#include "tools/vendor_sim/content_variant.h"
#include "tools/vendor_sim/request_log.h"
#include "tools/vendor_sim/sim_config.h"

extern const char kDownloadPath[];

class DownloadServer {
 public:
  // `foreign` is what the "foreign" fault serves (may be null without one).
  DownloadServer(int index, const DomainConfig& config, Content& content, RequestLog& log, bool gzip,
                 const Content* foreign = nullptr);
  ~DownloadServer();
  DownloadServer(const DownloadServer&) = delete;
  DownloadServer& operator=(const DownloadServer&) = delete;

  // Binds 127.0.0.1 on any free port and starts accepting. A refusing domain
  // binds only to learn a port and closes it again. False on a socket error.
  bool Start();
  int port() const { return port_; }
  // Ends every connection (stalled ones included) and waits for their threads.
  void Stop();

 private:
  void AcceptLoop();
  void Serve(int fd);
  // Answers one request; false when the connection must end.
  bool Answer(int fd, const std::string& head);

  const int index_;
  const DomainConfig config_;
  Content& content_;
  const Content* foreign_;
  RequestLog& log_;
  const bool gzip_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> gets_{0};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::condition_variable idle_;
  int connections_ = 0;
};
