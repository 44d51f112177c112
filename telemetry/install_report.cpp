#include "telemetry/install_report.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "base/text_convert.h"

namespace {

using rapidjson::Value;

class DocumentBuilder {
 public:
  explicit DocumentBuilder(rapidjson::Document& doc) : alloc_(doc.GetAllocator()) {}

  // Strings are copied with their length, so a zero byte inside stays data.
  Value Text(const std::string& utf8) {
    return Value(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()), alloc_);
  }
  void Add(Value& object, const char* name, Value value) {
    object.AddMember(Value(rapidjson::StringRef(name)), value, alloc_);
  }
  void AddText(Value& object, const char* name, const std::string& utf8) { Add(object, name, Text(utf8)); }
  rapidjson::Document::AllocatorType& alloc() { return alloc_; }

 private:
  rapidjson::Document::AllocatorType& alloc_;
};

}  // namespace

std::string BuildInstallReportJson(const InstallReport& report, const ReportDevice& device,
                                   const CdnAttemptStats& stats, const std::string& buildVersion) {
  rapidjson::Document doc;
  doc.SetObject();
  DocumentBuilder b(doc);

  // Every text is converted to UTF-8 once, from the encoding it is held in.
  b.Add(doc, "client_type", Value(10));
  b.AddText(doc, "client_version", "3.0.0." + AnsiToUtf8(buildVersion));
  b.AddText(doc, "current_channel_id", "5");
  b.AddText(doc, "pre_channel_id", AnsiToUtf8(report.previousChannelId));
  b.AddText(doc, "action_type", AnsiToUtf8(report.actionType));
  b.AddText(doc, "packet_type", "stub");
  b.AddText(doc, "install_path", AnsiToUtf8(report.installPath));
  b.AddText(doc, "third_type", WideToUtf8(report.thirdType));

  Value deviceInfo(rapidjson::kObjectType);
  b.AddText(deviceInfo, "sn", "");
  b.AddText(deviceInfo, "mac", device.mac);
  b.AddText(deviceInfo, "os", AnsiToUtf8(device.os));
  b.AddText(deviceInfo, "cpu", AnsiToUtf8(device.cpu));
  b.AddText(deviceInfo, "device_model", "");
  b.Add(doc, "device_info", std::move(deviceInfo));

  Value errorDetail(rapidjson::kObjectType);
  b.Add(errorDetail, "http_code", Value(report.httpCode));
  b.AddText(errorDetail, "error_module", AnsiToUtf8(report.errorModule));
  b.Add(doc, "error_detail", std::move(errorDetail));

  Value extraInfo(rapidjson::kObjectType);
  b.AddText(extraInfo, "attempt_id", stats.attemptId);
  Value attempts(rapidjson::kArrayType);
  for (const CdnAttempt& attempt : stats.attempts) {
    Value item(rapidjson::kObjectType);
    b.AddText(item, "selected_cdn", AnsiToUtf8(attempt.selectedCdn));
    b.AddText(item, "cdn_error_msg", AnsiToUtf8(attempt.cdnErrorMsg));
    b.Add(item, "rtt_speed_ms", Value(attempt.rttSpeedMs));
    b.Add(item, "time_connect_ms", Value(attempt.timeConnectMs));
    b.Add(item, "download_byte", Value(static_cast<int64_t>(attempt.downloadByte)));
    b.Add(item, "download_ms", Value(attempt.downloadMs));
    attempts.PushBack(item, b.alloc());
  }
  b.Add(extraInfo, "cdn_attempts", std::move(attempts));
  b.Add(doc, "extra_info", std::move(extraInfo));

  rapidjson::StringBuffer text;
  rapidjson::Writer<rapidjson::StringBuffer> writer(text);
  doc.Accept(writer);
  return std::string(text.GetString(), text.GetSize());
}

std::string InstallReportUrl(const std::string& reportHost) {
  return reportHost + "/api/data_report/client/update_pc_module";
}
