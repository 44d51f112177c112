// The reports end to end: a real HTTP server on 127.0.0.1 records every
// request the report threads make.
#include "telemetry/report_sender.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "base/vendor.h"
#include "base/build_version.h"
#include "telemetry/device_identity.h"
#include "telemetry/user_agent.h"

namespace {

struct Recorded {
  std::string path;
  std::string contentType;
  std::string userAgent;
  std::string body;
};

class RecordingServer {
 public:
  RecordingServer() {
    auto record = [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(lock_);
      requests_.push_back(
          {req.path, req.get_header_value("Content-Type"), req.get_header_value("User-Agent"), req.body});
      res.status = status_;
      res.set_content("{}", "application/json");
    };
    server_.Post("/api/data_report/client/update_pc_module", record);
    server_.Post("/api/common_bll/v1/client/active", record);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~RecordingServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  void Reset(int status) {
    std::lock_guard<std::mutex> lock(lock_);
    requests_.clear();
    status_ = status;
  }
  std::vector<Recorded> Requests() {
    std::lock_guard<std::mutex> lock(lock_);
    return requests_;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::vector<Recorded> requests_;
  int status_ = 200;
};

RecordingServer* server = nullptr;

// A port that was free a moment ago and on which nothing listens.
int UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

void SetEnv(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

// One server for the whole binary; the vendor hosts point at it before
// anything asks for them.
class ServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    server = new RecordingServer;
    SetEnv("QV_REPORT_URL", server->Url());
    SetEnv("QV_CLIENT_SERVICE_URL", server->Url());
  }
  void TearDown() override {
    delete server;
    server = nullptr;
  }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

// Collects debugger lines while alive.
class DebugLines {
 public:
  DebugLines() {
    SetDebugSink([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(lock_);
      lines_.push_back(line);
    });
  }
  ~DebugLines() { SetDebugSink(nullptr); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

class ReportSending : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(server, nullptr);
    server->Reset(200);
  }
  // The device members as this machine fills them.
  static std::string DeviceInfo() {
    return "\"device_info\":{\"sn\":\"\",\"mac\":\"" + GetDeviceId() + "\",\"os\":\"" +
           AnsiToUtf8(GetOsDescription()) + "\",\"cpu\":\"" + AnsiToUtf8(GetCpuBrand()) +
           "\",\"device_model\":\"\"}";
  }
  static std::string Head(const std::string& preChannel, const std::string& installPathJson,
                          const std::string& thirdType) {
    return "{\"client_type\":10,\"client_version\":\"3.0.0." + ClientBuildVersion() +
           "\",\"current_channel_id\":\"5\",\"pre_channel_id\":\"" + preChannel +
           "\",\"action_type\":\"install\",\"packet_type\":\"stub\",\"install_path\":\"" + installPathJson +
           "\",\"third_type\":\"" + thirdType + "\"," + DeviceInfo();
  }
};

const char kUserAgent[] = "User-Agent: PC/Windows/windowsx64/5/Quorvane-PC/3.0.0/0A1B2C3D4E5F/English";

TEST_F(ReportSending, InstallReportsAsRecordedByTheServer) {
  CdnAttemptStats stats;
  stats.attemptId = "00112233445566778899AABBCCDDEEFF";
  CdnAttempt attempt;
  attempt.selectedCdn = "https://cdn.example";
  attempt.rttSpeedMs = 20;
  attempt.timeConnectMs = 25;
  attempt.downloadByte = 4294967296LL + 7;
  attempt.downloadMs = 900;
  CdnAttemptStats withAttempt = stats;
  withAttempt.attempts = {attempt};

  struct Case {
    const char* name;
    std::string installPath, errorModule, previousChannelId;
    int32_t httpCode;
    std::wstring thirdType;
    CdnAttemptStats stats;
    std::string expectedBody;
  };
  const Case cases[] = {
      {"success with one attempt", "C:\\Quorvane", "", "12", 0, L"", withAttempt,
       Head("12", "C:\\\\Quorvane", "") +
           ",\"error_detail\":{\"http_code\":0,\"error_module\":\"\"},\"extra_info\":{\"attempt_id\":"
           "\"00112233445566778899AABBCCDDEEFF\",\"cdn_attempts\":[{\"selected_cdn\":\"https://cdn.example\","
           "\"cdn_error_msg\":\"\",\"rtt_speed_ms\":20,\"time_connect_ms\":25,\"download_byte\":4294967303,"
           "\"download_ms\":900}]}}"},
      {"failure before any attempt, escapes", "C:\\a \"b\"", "step\tfailed", "", 2000, L"t1", stats,
       Head("", "C:\\\\a \\\"b\\\"", "t1") +
           ",\"error_detail\":{\"http_code\":2000,\"error_module\":\"step\\tfailed\"},\"extra_info\":"
           "{\"attempt_id\":\"00112233445566778899AABBCCDDEEFF\",\"cdn_attempts\":[]}}"},
  };
  for (const Case& c : cases) {
    server->Reset(200);
    DebugLines debug;
    InstallReport report;
    report.userAgentLine = kUserAgent;
    report.actionType = "install";
    report.httpCode = c.httpCode;
    report.errorModule = c.errorModule;
    report.installPath = c.installPath;
    report.previousChannelId = c.previousChannelId;
    report.thirdType = c.thirdType;
    CdnAttemptStats copy = c.stats;
    report.attemptStats = [copy] { return copy; };
    SendInstallReport(report, server->Url(), TransferPolicy());

    std::vector<Recorded> got = server->Requests();
    ASSERT_EQ(got.size(), 1u) << c.name;
    EXPECT_EQ(got[0].path, "/api/data_report/client/update_pc_module") << c.name;
    EXPECT_EQ(got[0].contentType, "application/json;charset=UTF-8") << c.name;
    EXPECT_EQ(got[0].userAgent, "PC/Windows/windowsx64/5/Quorvane-PC/3.0.0/0A1B2C3D4E5F/English") << c.name;
    EXPECT_EQ(got[0].body, c.expectedBody) << c.name;
    EXPECT_TRUE(debug.Lines().empty()) << c.name;
  }
}

// The started thread goes to the configured report host and takes the
// statistics on its own thread, when it runs.
TEST_F(ReportSending, StartedReportTakesStatisticsOnItsThread) {
  std::atomic<bool> onOtherThread{false};
  const std::thread::id caller = std::this_thread::get_id();
  InstallReport report;
  report.userAgentLine = kUserAgent;
  report.actionType = "install";
  report.attemptStats = [&] {
    onOtherThread = std::this_thread::get_id() != caller;
    CdnAttemptStats s;
    s.attemptId = "ABCDEF";
    return s;
  };
  GuardedThread t = StartInstallReport(report, false, false, TransferPolicy());
  ASSERT_TRUE(t.Running());
  t.Join();
  EXPECT_TRUE(onOtherThread);
  std::vector<Recorded> got = server->Requests();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_NE(got[0].body.find("\"attempt_id\":\"ABCDEF\",\"cdn_attempts\":[]"), std::string::npos)
      << got[0].body;
}

// "-launch-by-channel" silences install reports unless forced; the
// activation report still goes out.
TEST_F(ReportSending, LaunchedByChannelSendsOnlyTheActivation) {
  struct Case {
    const char* name;
    bool launchedByChannel, force;
    size_t installReports;
  };
  const Case cases[] = {
      {"by channel", true, false, 0},
      {"by channel, forced", true, true, 1},
      {"interactive", false, false, 1},
  };
  for (const Case& c : cases) {
    server->Reset(200);
    InstallReport report;
    report.userAgentLine = kUserAgent;
    report.actionType = "install";
    GuardedThread activation =
        StartClientActivation(PrepareClientActivation(L"3", L"901", L"5", L"English"), TransferPolicy());
    GuardedThread install = StartInstallReport(report, c.launchedByChannel, c.force, TransferPolicy());
    EXPECT_EQ(install.Running(), c.installReports == 1) << c.name;
    install.Join();
    ASSERT_TRUE(activation.Running()) << c.name;
    activation.Join();
    size_t installs = 0, activations = 0;
    for (const Recorded& r : server->Requests()) {
      if (r.path == "/api/data_report/client/update_pc_module") ++installs;
      if (r.path == "/api/common_bll/v1/client/active") ++activations;
    }
    EXPECT_EQ(installs, c.installReports) << c.name;
    EXPECT_EQ(activations, 1u) << c.name;
  }
}

TEST_F(ReportSending, ActivationBodyAndItsOwnUserAgentLine) {
  struct Case {
    const char* name;
    std::wstring platformId, aid, channelId, language;
    std::string expectedBody, expectedLanguage;
  };
  const Case cases[] = {
      {"platform 3, aid 901", L"3", L"901", L"5", L"English", "{ \"aid\": \"901\", \"platform_id\": 3 }",
       "English"},
      {"quote in the aid", L"3", L"9\"01", L"12", L"Fran\u00e7ais",
       "{ \"aid\": \"9\\\"01\", \"platform_id\": 3 }", WideToAnsi(L"Fran\u00e7ais")},
  };
  for (const Case& c : cases) {
    server->Reset(200);
    DebugLines debug;
    SendClientActivation(PrepareClientActivation(c.platformId, c.aid, c.channelId, c.language), server->Url(),
                         TransferPolicy());
    std::vector<Recorded> got = server->Requests();
    ASSERT_EQ(got.size(), 1u) << c.name;
    EXPECT_EQ(got[0].path, "/api/common_bll/v1/client/active") << c.name;
    EXPECT_EQ(got[0].contentType, "application/json;charset=UTF-8") << c.name;
    EXPECT_EQ(got[0].body, c.expectedBody) << c.name;
    EXPECT_EQ(got[0].userAgent, "PC/Windows/" + GetOsDescription() + "/" + WideToAnsi(c.channelId) +
                                    "/Quorvane-PC/3.0.0/" + GetDeviceId() + "/" + c.expectedLanguage)
        << c.name;
    EXPECT_TRUE(debug.Lines().empty()) << c.name;
  }
}

TEST_F(ReportSending, MissingIdentifiersSendNothing) {
  GuardedThread t =
      StartClientActivation(PrepareClientActivation(L"3", L"", L"5", L"English"), TransferPolicy());
  EXPECT_FALSE(t.Running());
  SendClientActivation(PrepareClientActivation(L"", L"901", L"5", L"English"), server->Url(),
                       TransferPolicy());
  EXPECT_TRUE(server->Requests().empty());
}

// A refusal leaves exactly one debugger line, for either report.
TEST_F(ReportSending, FailureLeavesOneDebuggerLine) {
  struct Case {
    const char* name;
    int status;
    bool activation;
    bool reachable;
    std::string expectedLine;
  };
  const Case cases[] = {
      {"install report, 500", 500, false, true, "upload install information failed result code 500"},
      {"activation, 500", 500, true, true, "upload install information failed result code 500"},
      {"install report, 404", 404, false, true, "upload install information failed result code 404"},
      // Nothing listens on the port: libcurl's "couldn't connect".
      {"install report, refused", 200, false, false, "upload install information failed result code 7"},
  };
  for (const Case& c : cases) {
    server->Reset(c.status);
    std::string host = server->Url();
    if (!c.reachable) host = "http://127.0.0.1:" + std::to_string(UnusedPort());
    DebugLines debug;
    if (c.activation) {
      SendClientActivation(PrepareClientActivation(L"3", L"901", L"5", L"English"), host, TransferPolicy());
    } else {
      InstallReport report;
      report.userAgentLine = kUserAgent;
      report.actionType = "install";
      SendInstallReport(report, host, TransferPolicy());
    }
    EXPECT_EQ(debug.Lines(), std::vector<std::string>{c.expectedLine}) << c.name;
    EXPECT_EQ(server->Requests().size(), c.reachable ? 1u : 0u) << c.name;
  }
}

}  // namespace
