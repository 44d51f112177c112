// The vendor's services on one port: the backup domain directory, the install
// event report and the client activation report. Every request is recorded.
#pragma once
#include <httplib.h>

#include <string>
#include <thread>
#include <vector>

#include "tools/vendor_sim/request_log.h"
#include "tools/vendor_sim/sim_config.h"

extern const char kDirectoryPath[];
extern const char kReportPath[];
extern const char kActivePath[];
extern const char kPacPath[];

// The directory's default answer: one "OSS_DOMAIN" entry whose main_url is the
// first listed domain and whose backup_urls are the others, then `extra`.
std::string DefaultDirectoryAnswer(const std::vector<std::string>& urls,
                                   const std::vector<std::string>& extra);

class ApiServer {
 public:
  ApiServer(const SimConfig& config, std::string directoryAnswer, RequestLog& log);
  ~ApiServer();
  ApiServer(const ApiServer&) = delete;
  ApiServer& operator=(const ApiServer&) = delete;

  // A proxy auto-configuration script to serve as kPacPath (before Start).
  void SetPacScript(std::string script) { pacScript_ = std::move(script); }
  bool Start();
  int port() const { return port_; }
  void Stop();

 private:
  void Record(const httplib::Request& req, int status);

  const SimConfig& config_;
  const std::string directoryAnswer_;
  std::string pacScript_;
  RequestLog& log_;
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};
