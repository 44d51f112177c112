#include "tools/vendor_sim/request_log.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdio>

RequestLog::~RequestLog() {
  if (file_) std::fclose(file_);
}

bool RequestLog::Open(const std::string& path) {
  if (path.empty()) return true;
  file_ = std::fopen(path.c_str(), "ab");
  return file_ != nullptr;
}

void RequestLog::CountBody(int domain, long long bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  bodyBytes_[domain] += bytes;
  if (bytesPath_.empty()) return;
  std::string text = "{";
  long long total = 0;
  for (const auto& [index, count] : bodyBytes_) {
    text += "\"" + std::to_string(index) + "\":" + std::to_string(count) + ",";
    total += count;
  }
  text += "\"total\":" + std::to_string(total) + "}\n";
  const std::string fresh = bytesPath_ + ".tmp";
  if (std::FILE* f = std::fopen(fresh.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    if (std::fclose(f) == 0) std::rename(fresh.c_str(), bytesPath_.c_str());
  }
}

std::string SanitizeUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  auto latin1 = [&out](unsigned char c) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  };
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = len > 0 && i + len <= bytes.size();
    for (size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
    if (ok && len == 2) ok = c >= 0xC2;  // no overlong forms
    if (ok && len == 3) {
      unsigned char c1 = static_cast<unsigned char>(bytes[i + 1]);
      ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);  // overlong, surrogates
    }
    if (ok && len == 4) {
      unsigned char c1 = static_cast<unsigned char>(bytes[i + 1]);
      ok = c <= 0xF4 && !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
    }
    if (ok) {
      out.append(bytes, i, len);
      i += len;
    } else {
      latin1(c);
      ++i;
    }
  }
  return out;
}

void RequestLog::Add(const RecordedRequest& r) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  auto str = [&w](const std::string& s) {
    std::string clean = SanitizeUtf8(s);
    w.String(clean.c_str(), static_cast<rapidjson::SizeType>(clean.size()));
  };
  w.StartObject();
  w.Key("seq");
  w.Int64(++seq_);
  w.Key("time_ms");
  w.Int64(std::chrono::duration_cast<std::chrono::milliseconds>(
              std::chrono::system_clock::now().time_since_epoch())
              .count());
  w.Key("server");
  str(r.server);
  if (r.domain >= 0) {
    w.Key("domain");
    w.Int(r.domain);
  }
  w.Key("method");
  str(r.method);
  w.Key("path");
  str(r.path);
  w.Key("query");
  str(r.query);
  // Repeated header names are joined with ", " as HTTP allows.
  std::map<std::string, std::string> joined;
  for (const auto& [name, value] : r.headers) {
    auto [it, fresh] = joined.emplace(name, value);
    if (!fresh) it->second += ", " + value;
  }
  w.Key("headers");
  w.StartObject();
  for (const auto& [name, value] : joined) {
    str(name);
    str(value);
  }
  w.EndObject();
  w.Key("body");
  str(r.body);
  w.Key("status");
  w.Int(r.status);
  w.Key("fault");
  str(r.fault);
  w.Key("encoding");
  str(r.encoding);
  w.EndObject();
  std::fwrite(buffer.GetString(), 1, buffer.GetSize(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}
