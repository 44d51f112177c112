// vendor_sim: the vendor's services on 127.0.0.1 for tests and the demo. See
// tools/README.md for the flags and the port file.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "tools/vendor_sim/api_server.h"
#include "tools/vendor_sim/content.h"
#include "tools/vendor_sim/download_server.h"
#include "tools/vendor_sim/request_log.h"
#include "tools/vendor_sim/sim_config.h"

namespace {

std::string Base(int port) { return "http://127.0.0.1:" + std::to_string(port); }

std::string PortReport(int apiPort, const std::vector<std::string>& domains, const SimConfig& config) {
  std::string joined;
  for (const auto& d : domains) joined += (joined.empty() ? "" : ",") + d;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("pid");
  w.Int(static_cast<int>(getpid()));
  w.Key("api_port");
  w.Int(apiPort);
  w.Key("api_url");
  w.String(Base(apiPort).c_str());
  w.Key("directory_url");
  w.String((Base(apiPort) + kDirectoryPath).c_str());
  w.Key("domains");
  w.StartArray();
  for (const auto& d : domains) w.String(d.c_str());
  w.EndArray();
  w.Key("download_path");
  w.String(kDownloadPath);
  w.Key("record");
  w.String(config.recordFile.c_str());
  w.Key("env");  // ready to export for a QV_TEST_HOOKS build
  w.StartObject();
  w.Key("QV_DIRECTORY_URL");
  w.String(Base(apiPort).c_str());
  w.Key("QV_REPORT_URL");
  w.String(Base(apiPort).c_str());
  w.Key("QV_CLIENT_SERVICE_URL");
  w.String(Base(apiPort).c_str());
  w.Key("QV_BUILTIN_DOMAINS");
  w.String(joined.c_str());
  w.EndObject();
  w.EndObject();
  return buffer.GetString();
}

// Written beside the target and renamed into place, so a reader polling for
// the file never sees half of it.
bool WriteAtomically(const std::string& path, const std::string& text) {
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text << "\n";
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  SimConfig config;
  std::string error;
  if (!ParseSimConfig(argc, argv, config, error)) {
    std::fprintf(stderr, "vendor_sim: %s\n%s", error.c_str(), kSimUsage);
    return 2;
  }

  // Stop with the caller: a signal when the parent goes, standard input's end
  // when asked, and in any case after the maximum lifetime.
  const pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) return 0;
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  sigaddset(&stopSignals, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // inherited by every thread started below

  Content content;
  if (!config.file.empty()) {
    if (!content.OpenFile(config.file)) {
      std::fprintf(stderr, "vendor_sim: cannot read %s\n", config.file.c_str());
      return 2;
    }
  } else {
    content.Generate(config.size);
  }
  Content foreign;
  if (!config.foreignFile.empty() && !foreign.OpenFile(config.foreignFile)) {
    std::fprintf(stderr, "vendor_sim: cannot read %s\n", config.foreignFile.c_str());
    return 2;
  }
  // The gzip form is made before anything listens: made on the first request
  // instead, it would delay that domain's first answer (a ranking probe's).
  // A very large file is left to the first request that asks for gzip.
  if (config.gzip && content.size() <= 64 * 1024 * 1024) content.Gzipped();
  RequestLog log;
  log.OpenBytes(config.bytesFile);
  if (!log.Open(config.recordFile)) {
    std::fprintf(stderr, "vendor_sim: cannot create %s\n", config.recordFile.c_str());
    return 2;
  }

  std::vector<std::unique_ptr<DownloadServer>> domains;
  std::vector<std::string> domainUrls;
  for (size_t i = 0; i < config.domains.size(); ++i) {
    domains.push_back(
        std::make_unique<DownloadServer>(static_cast<int>(i), config.domains[i], content, log, config.gzip,
                                         config.foreignFile.empty() ? nullptr : &foreign));
    if (!domains.back()->Start()) {
      std::fprintf(stderr, "vendor_sim: cannot listen for domain %zu\n", i);
      return 2;
    }
    domainUrls.push_back(Base(domains.back()->port()));
  }

  std::string directoryAnswer;
  if (!config.directoryFile.empty()) {
    std::ifstream in(config.directoryFile, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "vendor_sim: cannot read %s\n", config.directoryFile.c_str());
      return 2;
    }
    directoryAnswer.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // "{domainN}" stands for domain N's base URL, so a hand-written answer
    // can name the simulator's own ports.
    for (size_t i = domainUrls.size(); i-- > 0;) {
      const std::string mark = "{domain" + std::to_string(i) + "}";
      for (size_t at = directoryAnswer.find(mark); at != std::string::npos;
           at = directoryAnswer.find(mark, at + domainUrls[i].size()))
        directoryAnswer.replace(at, mark.size(), domainUrls[i]);
    }
  } else {
    std::vector<std::string> listed = domainUrls;
    if (config.directoryDomainsSet) {
      listed.clear();
      for (int idx : config.directoryDomains) listed.push_back(domainUrls[static_cast<size_t>(idx)]);
    }
    directoryAnswer = DefaultDirectoryAnswer(listed, config.directoryExtra);
  }
  ApiServer api(config, directoryAnswer, log);
  if (!config.pacFile.empty()) {
    std::ifstream in(config.pacFile, std::ios::binary);
    std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in || script.empty()) {
      std::fprintf(stderr, "vendor_sim: cannot read %s\n", config.pacFile.c_str());
      return 2;
    }
    api.SetPacScript(std::move(script));
  }
  if (!api.Start()) {
    std::fprintf(stderr, "vendor_sim: cannot listen for the api\n");
    return 2;
  }

  std::string report = PortReport(api.port(), domainUrls, config);
  if (!config.envFile.empty()) {
    std::string all;
    for (const auto& d : domainUrls) all += (all.empty() ? "" : ",") + d;
    const std::string base = Base(api.port());
    std::string env = "export QV_DIRECTORY_URL=" + base + "\nexport QV_REPORT_URL=" + base +
                      "\nexport QV_CLIENT_SERVICE_URL=" + base + "\nexport QV_BUILTIN_DOMAINS=" + all;
    if (!WriteAtomically(config.envFile, env)) {
      std::fprintf(stderr, "vendor_sim: cannot write %s\n", config.envFile.c_str());
      return 2;
    }
  }
  if (!config.portFile.empty() && !WriteAtomically(config.portFile, report)) {
    std::fprintf(stderr, "vendor_sim: cannot write %s\n", config.portFile.c_str());
    return 2;
  }
  std::printf("%s\n", report.c_str());
  std::fflush(stdout);

  std::atomic<bool> stdinEnded{false};
  if (config.exitOnStdinEof) {
    std::thread([&stdinEnded] {
      char c[256];
      while (read(0, c, sizeof c) > 0) {
      }
      stdinEnded = true;
    }).detach();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(config.maxLifetimeSeconds);
  const char* why = "lifetime over";
  for (;;) {
    timespec wait{0, 200 * 1000 * 1000};
    int sig = sigtimedwait(&stopSignals, nullptr, &wait);
    if (sig > 0 && sig != SIGPIPE) {
      why = "signal";
      break;
    }
    if (stdinEnded) {
      why = "end of input";
      break;
    }
    if (getppid() != parent) {
      why = "caller gone";
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  std::fprintf(stderr, "vendor_sim: stopping (%s)\n", why);
  api.Stop();
  for (auto& d : domains) d->Stop();
  return 0;
}
