#include "tools/vendor_sim/api_server.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>

const char kDirectoryPath[] = "/api/multi_platform_manage_bff/v1/disaster/backup_domain/list";
const char kReportPath[] = "/api/data_report/client/update_pc_module";
const char kActivePath[] = "/api/common_bll/v1/client/active";
const char kPacPath[] = "/proxy.pac";

std::string DefaultDirectoryAnswer(const std::vector<std::string>& urls,
                                   const std::vector<std::string>& extra) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("code");
  w.Int(0);
  w.Key("domain_list");
  w.StartArray();
  w.StartObject();
  w.Key("domain_key");
  w.String("OSS_DOMAIN");
  if (!urls.empty()) {
    w.Key("main_url");
    w.String(urls[0].c_str());
  }
  w.Key("backup_urls");
  w.StartArray();
  for (size_t i = 1; i < urls.size(); ++i) w.String(urls[i].c_str());
  for (const auto& u : extra) w.String(u.c_str());
  w.EndArray();
  w.EndObject();
  w.EndArray();
  w.EndObject();
  return buffer.GetString();
}

ApiServer::ApiServer(const SimConfig& config, std::string directoryAnswer, RequestLog& log)
    : config_(config), directoryAnswer_(std::move(directoryAnswer)), log_(log) {}

ApiServer::~ApiServer() { Stop(); }

void ApiServer::Record(const httplib::Request& req, int status) {
  RecordedRequest rec;
  rec.server = "api";
  rec.method = req.method;
  rec.path = req.path;
  size_t q = req.target.find('?');
  if (q != std::string::npos) rec.query = req.target.substr(q + 1);
  for (const auto& [name, value] : req.headers) {
    // The server library adds these itself; they were not sent.
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
      continue;
    rec.headers.emplace(name, value);
  }
  rec.body = req.body;
  rec.status = status;
  log_.Add(rec);
}

bool ApiServer::Start() {
  auto answer = [this](const httplib::Request& req, httplib::Response& res, int status,
                       const std::string& body, const char* type) {
    Record(req, status);
    res.status = status;
    res.set_content(body, type);
  };
  server_.Get(kDirectoryPath, [this, answer](const httplib::Request& req, httplib::Response& res) {
    answer(req, res, config_.directoryStatus, directoryAnswer_, "application/json");
  });
  server_.Post(kReportPath, [this, answer](const httplib::Request& req, httplib::Response& res) {
    answer(req, res, config_.reportStatus, "{\"code\":0,\"msg\":\"ok\"}", "application/json");
  });
  server_.Post(kActivePath, [this, answer](const httplib::Request& req, httplib::Response& res) {
    answer(req, res, config_.activeStatus, "{\"code\":0,\"msg\":\"ok\"}", "application/json");
  });
  if (!pacScript_.empty()) {
    server_.Get(kPacPath, [this, answer](const httplib::Request& req, httplib::Response& res) {
      answer(req, res, 200, pacScript_, "application/x-ns-proxy-autoconfig");
    });
  }
  auto other = [answer](const httplib::Request& req, httplib::Response& res) {
    answer(req, res, 404, "not found\n", "text/plain");
  };
  server_.Get(".*", other);
  server_.Post(".*", other);
  server_.Put(".*", other);
  server_.Patch(".*", other);
  server_.Delete(".*", other);
  server_.Options(".*", other);
  server_.set_keep_alive_timeout(2);

  if (config_.apiPort > 0) {
    if (!server_.bind_to_port("127.0.0.1", config_.apiPort)) return false;
    port_ = config_.apiPort;
  } else {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
  }
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() is ignored by a server that is not running yet: wait for it.
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return true;
}

void ApiServer::Stop() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}
