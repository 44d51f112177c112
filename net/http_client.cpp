#include "net/http_client.h"

#include <curl/curl.h>

#include <cstdio>

#include "base/vendor.h"

bool HttpProxyEnabled = false;

namespace {

const char kDebugProxy[] = "127.0.0.1:8888";

// Appends the body to a std::string; a null string or data aborts the transfer.
size_t MemoryWriter(char* data, size_t size, size_t count, void* target) {
  auto* out = static_cast<std::string*>(target);
  if (!out || !data) return static_cast<size_t>(-1);
  out->append(data, size * count);
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
curl_slist* BuildHeaderList(const std::string& headers) {
  curl_slist* list = nullptr;
  size_t from = 0;
  while (from < headers.size()) {
    size_t end = headers.find("\r\n", from);
    if (end == std::string::npos) end = headers.size();
    if (end > from) {
      curl_slist* grown = curl_slist_append(list, headers.substr(from, end - from).c_str());
      if (!grown) break;  // out of memory: send what we have
      list = grown;
    }
    from = end + 2;
  }
  return list;
}

void UseDebugProxy(CURL* handle) { curl_easy_setopt(handle, CURLOPT_PROXY, kDebugProxy); }

// Performs the prepared transfer and turns its outcome into the one result int.
int PerformAndReport(CURL* handle, std::string& response) {
  CURLcode rc = curl_easy_perform(handle);
  if (rc != CURLE_OK) {
    char text[1024];
    std::snprintf(text, sizeof text, "curl_easy_perform() failed:%s\n", curl_easy_strerror(rc));
    response = text;
    return static_cast<int>(rc);
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return static_cast<int>(status);
}

void DropHeaderList(CURL* handle, curl_slist* list) {
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  curl_slist_free_all(list);
}

}  // namespace

void ApplyTlsPolicy(CURL* handle) {
  if (!handle) return;
  if (HttpProxyEnabled) {
    // The debugging proxy re-signs every site with its own certificate.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    return;
  }
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  const std::string& caFile = Vendor().caFile;
  if (!caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.c_str());
}

HttpClient::HttpClient() : handle(curl_easy_init()) {}

HttpClient::~HttpClient() {
  if (handle) curl_easy_cleanup(handle);
}

int HttpClient::Get(const std::string& url, const std::string& headers, std::string& response, FILE* file,
                    long timeoutSeconds) {
  response.clear();
  if (!handle) return CURLE_FAILED_INIT;

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  // A PostJson earlier on this handle leaves POST switched on.
  curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl_slist* list = nullptr;
  if (!headers.empty()) {
    list = BuildHeaderList(headers);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);
  }
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
  if (file) {
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &FileWriter);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, file);
  } else {
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &MemoryWriter);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
  }
  if (HttpProxyEnabled) UseDebugProxy(handle);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip");
  if (progressCallback) {
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_PROGRESSFUNCTION, progressCallback);
    curl_easy_setopt(handle, CURLOPT_PROGRESSDATA, progressContext);
  } else {
    // A callback installed by an earlier call must not see this transfer.
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
  }
  ApplyTlsPolicy(handle);

  int result = PerformAndReport(handle, response);
  DropHeaderList(handle, list);
  return result;
}

int HttpClient::PostJson(const std::string& url, const std::string& header, const std::string& body,
                         std::string& response) {
  response = "";
  if (!handle) return CURLE_FAILED_INIT;

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_slist* list = curl_slist_append(nullptr, "Content-Type:application/json;charset=UTF-8");
  if (list) {
    if (curl_slist* grown = curl_slist_append(list, header.c_str())) list = grown;
  }
  if (HttpProxyEnabled) UseDebugProxy(handle);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(nullptr));
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &MemoryWriter);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, 10L);
  // What a Get earlier on this handle switched on does not apply to a POST.
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, static_cast<char*>(nullptr));
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
  ApplyTlsPolicy(handle);

  int result = PerformAndReport(handle, response);
  DropHeaderList(handle, list);
  return result;
}

double HttpClient::InfoSeconds(int info) {
  double value = 0;
  if (!handle) return 0;
  // Only double-valued items: any other kind would write a different type here.
  if ((info & CURLINFO_TYPEMASK) != CURLINFO_DOUBLE) return 0;
  if (curl_easy_getinfo(handle, static_cast<CURLINFO>(info), &value) != CURLE_OK) return 0;
  return value;
}
