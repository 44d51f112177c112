#include "telemetry/install_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

InstallReport SuccessReport() {
  InstallReport r;
  r.userAgentLine = "User-Agent: x";
  r.actionType = "install";
  r.httpCode = 0;
  r.installPath = "C:\\Program Files (x86)\\Quorvane";
  r.previousChannelId = "10";
  r.thirdType = L"ad";
  return r;
}

const ReportDevice kDevice{"0A1B2C3D4E5F", "windowsx64", "  Intel(R) Core(TM) i5"};

TEST(InstallReportJson, WholeDocumentInOrder) {
  CdnAttemptStats stats;
  stats.attemptId = "0123456789ABCDEF0123456789ABCDEF";
  CdnAttempt failed;
  failed.selectedCdn = "https://a.example";
  failed.cdnErrorMsg = "curl_easy_perform() failed:Timeout was reached\n";
  failed.rttSpeedMs = 31;
  failed.timeConnectMs = 40;
  failed.downloadByte = 0;
  failed.downloadMs = 10001;
  CdnAttempt ok;
  ok.selectedCdn = "https://b.example/";
  ok.rttSpeedMs = 12;
  ok.timeConnectMs = 15;
  ok.downloadByte = 5368709120LL;  // 5 GiB: past 32 bits
  ok.downloadMs = 2500;
  stats.attempts = {failed, ok};

  EXPECT_EQ(
      BuildInstallReportJson(SuccessReport(), kDevice, stats, "1234"),
      "{\"client_type\":10,\"client_version\":\"3.0.0.1234\",\"current_channel_id\":\"5\","
      "\"pre_channel_id\":\"10\",\"action_type\":\"install\",\"packet_type\":\"stub\","
      "\"install_path\":\"C:\\\\Program Files (x86)\\\\Quorvane\",\"third_type\":\"ad\","
      "\"device_info\":{\"sn\":\"\",\"mac\":\"0A1B2C3D4E5F\",\"os\":\"windowsx64\","
      "\"cpu\":\"  Intel(R) Core(TM) i5\",\"device_model\":\"\"},"
      "\"error_detail\":{\"http_code\":0,\"error_module\":\"\"},"
      "\"extra_info\":{\"attempt_id\":\"0123456789ABCDEF0123456789ABCDEF\",\"cdn_attempts\":["
      "{\"selected_cdn\":\"https://a.example\",\"cdn_error_msg\":\"curl_easy_perform() failed:Timeout was "
      "reached\\n\",\"rtt_speed_ms\":31,\"time_connect_ms\":40,\"download_byte\":0,\"download_ms\":10001},"
      "{\"selected_cdn\":\"https://b.example/\",\"cdn_error_msg\":\"\",\"rtt_speed_ms\":12,"
      "\"time_connect_ms\":15,\"download_byte\":5368709120,\"download_ms\":2500}]}}");
}

// The parts of the document that depend on the values, one case each.
TEST(InstallReportJson, ValuesAndEscaping) {
  struct Case {
    const char* name;
    InstallReport report;
    std::string buildVersion;
    std::string expectedPiece;
  };
  InstallReport quoted = SuccessReport();
  quoted.installPath = "D:\\my \"games\"";
  InstallReport tabbed = SuccessReport();
  tabbed.httpCode = 2000;
  tabbed.errorModule = "download\tfailed";
  InstallReport control = SuccessReport();
  control.errorModule = std::string("a\x01\x1f/b\r\n", 7);
  InstallReport fresh = SuccessReport();
  fresh.previousChannelId = "";
  InstallReport channelRun = SuccessReport();
  channelRun.thirdType = L"\u00e9t\u00e9";
  InstallReport failedText = SuccessReport();
  failedText.httpCode = 2000;
  failedText.errorModule = "tt_failed";
  const Case cases[] = {
      {"quote and backslash in the folder", quoted, "", "\"install_path\":\"D:\\\\my \\\"games\\\"\""},
      {"tab in the status text", tabbed, "", "\"http_code\":2000,\"error_module\":\"download\\tfailed\""},
      {"control characters, slash kept", control, "", "\"error_module\":\"a\\u0001\\u001F/b\\r\\n\""},
      {"fresh machine", fresh, "", "\"pre_channel_id\":\"\""},
      {"no build version", SuccessReport(), "", "\"client_version\":\"3.0.0.\""},
      {"build version kept as is", SuccessReport(), "77 ", "\"client_version\":\"3.0.0.77 \""},
      {"third type to UTF-8", channelRun, "", "\"third_type\":\"\xC3\xA9t\xC3\xA9\""},
      {"failure text id", failedText, "", "\"error_module\":\"tt_failed\""},
  };
  for (const Case& c : cases) {
    std::string json = BuildInstallReportJson(c.report, kDevice, CdnAttemptStats{}, c.buildVersion);
    EXPECT_NE(json.find(c.expectedPiece), std::string::npos) << c.name << "\n" << json;
  }
}

TEST(InstallReportJson, NoAttemptsStillCarriesTheAttemptId) {
  CdnAttemptStats stats;
  stats.attemptId = "FEDCBA9876543210FEDCBA9876543210";
  std::string json = BuildInstallReportJson(SuccessReport(), kDevice, stats, "");
  const std::string tail =
      "\"extra_info\":{\"attempt_id\":\"FEDCBA9876543210FEDCBA9876543210\",\"cdn_attempts\":[]}}";
  ASSERT_GE(json.size(), tail.size());
  EXPECT_EQ(json.substr(json.size() - tail.size()), tail);
}

TEST(InstallReportUrl, PathOnTheReportHost) {
  EXPECT_EQ(InstallReportUrl("http://127.0.0.1:8080"),
            "http://127.0.0.1:8080/api/data_report/client/update_pc_module");
}

}  // namespace
