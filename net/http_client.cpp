#include "net/http_client.h"

#include <curl/curl.h>

#include <cstdio>

namespace {

constexpr long kConnectTimeoutMs = 10000;
constexpr long kPostTimeoutSeconds = 10;

// Appends the body to a std::string; a null string or data aborts the transfer.
// No exception may leave a libcurl callback (libcurl is C): a body that
// cannot be held ends the transfer with libcurl's write error.
size_t MemoryWriter(char* data, size_t size, size_t count, void* target) {
  auto* out = static_cast<std::string*>(target);
  if (!out || !data) return static_cast<size_t>(-1);
  try {
    out->append(data, size * count);
  } catch (...) {
    return 0;
  }
  return size * count;
}

// Writes the body to an open stream; a short write (disk full) aborts the
// transfer with libcurl's write error.
size_t FileWriter(char* data, size_t size, size_t count, void* stream) {
  if (!data || !stream) return 0;
  return std::fwrite(data, size, count, static_cast<FILE*>(stream));
}

// Header lines separated by "\r\n"; empty pieces (two separators in a row, a
// trailing separator) add nothing.
CurlHeaderList BuildHeaderList(const std::string& headers) {
  CurlHeaderList list;
  size_t from = 0;
  while (from < headers.size()) {
    size_t end = headers.find("\r\n", from);
    if (end == std::string::npos) end = headers.size();
    if (end > from && !list.Append(headers.substr(from, end - from).c_str()))
      break;  // out of memory: send what we have
    from = end + 2;
  }
  return list;
}

// Performs the prepared transfer, turns its outcome into the one result int,
// and drops the header list from the handle before the list goes.
int PerformAndReport(CURL* handle, const std::string& url, const TransferPolicy& policy,
                     const TransferLimits& limits, std::string& response) {
  const int rc = PerformTransfer(handle, url, policy, limits);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  if (rc != CURLE_OK) {
    char text[1024];
    std::snprintf(text, sizeof text, "curl_easy_perform() failed:%s\n",
                  curl_easy_strerror(static_cast<CURLcode>(rc)));
    response = text;
    return rc;
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return static_cast<int>(status);
}

}  // namespace

HttpClient::HttpClient(const TransferPolicy& policy) : policy(policy), handle(CurlHandle::Create()) {}

HttpClient::~HttpClient() = default;

int HttpClient::Get(const std::string& url, const std::string& headers, std::string& response, FILE* file,
                    long timeoutSeconds) {
  response.clear();
  CURL* h = handle.get();
  if (!h) return CURLE_FAILED_INIT;

  // A PostJson earlier on this handle leaves POST switched on.
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  CurlHeaderList list;
  if (!headers.empty()) {
    list = BuildHeaderList(headers);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
  }
  curl_easy_setopt(h, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
  if (file) {
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &FileWriter);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, file);
  } else {
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &MemoryWriter);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
  }
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip");
  if (progressCallback) {
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_PROGRESSFUNCTION, progressCallback);
    curl_easy_setopt(h, CURLOPT_PROGRESSDATA, progressContext);
  } else {
    // A callback installed by an earlier call must not see this transfer.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
  }
  TransferLimits limits;
  limits.connectTimeoutMs = kConnectTimeoutMs;
  limits.timeoutSeconds = timeoutSeconds;
  return PerformAndReport(h, url, policy, limits, response);
}

int HttpClient::PostJson(const std::string& url, const std::string& header, const std::string& body,
                         std::string& response) {
  response = "";
  CURL* h = handle.get();
  if (!h) return CURLE_FAILED_INIT;

  CurlHeaderList list;
  if (list.Append("Content-Type:application/json;charset=UTF-8")) list.Append(header.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(h, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &MemoryWriter);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
  // What a Get earlier on this handle switched on does not apply to a POST.
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, static_cast<char*>(nullptr));
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
  TransferLimits limits;
  limits.followRedirects = false;
  limits.connectTimeoutMs = kConnectTimeoutMs;
  limits.timeoutSeconds = kPostTimeoutSeconds;
  return PerformAndReport(h, url, policy, limits, response);
}

double HttpClient::InfoSeconds(int info) {
  double value = 0;
  if (!handle) return 0;
  // Only double-valued items: any other kind would write a different type here.
  if ((info & CURLINFO_TYPEMASK) != CURLINFO_DOUBLE) return 0;
  if (curl_easy_getinfo(handle.get(), static_cast<CURLINFO>(info), &value) != CURLE_OK) return 0;
  return value;
}

int64_t HttpClient::InfoBytes(int info) {
  curl_off_t value = -1;
  if (!handle || (info & CURLINFO_TYPEMASK) != CURLINFO_OFF_T) return -1;
  if (curl_easy_getinfo(handle.get(), static_cast<CURLINFO>(info), &value) != CURLE_OK) return -1;
  return static_cast<int64_t>(value);
}
