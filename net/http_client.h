// The one object through which the program makes single HTTP(S) requests.
//
// Result convention of Get and PostJson: 200 is success; below 100 a libcurl
// code (CURLcode) with "curl_easy_perform() failed:%s\n" in `response`; 100 and
// above the HTTP status of the last response, with the body as received.
// 2 (CURLE_FAILED_INIT) when the handle could not be created.
//
// An HttpClient belongs to one thread at a time. Options persist on the handle
// between calls, so every operation sets all options it relies on and removes
// its custom header list after the transfer. Route, TLS and limits come from
// `policy` through ApplyTransferPolicy.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "net/curl_handle.h"
#include "net/transfer_policy.h"

class HttpClient {
 public:
  using ProgressFn = int (*)(void* context, double downloadTotal, double downloadedNow, double uploadTotal,
                             double uploadedNow);

  explicit HttpClient(const TransferPolicy& policy = TransferPolicy());
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // GET `url`; the body goes to `file` when given, else into `response`.
  // `headers`: lines separated by "\r\n" (empty pieces skipped); may be empty.
  int Get(const std::string& url, const std::string& headers, std::string& response, FILE* file,
          long timeoutSeconds);
  // POST `body` (JSON, UTF-8) with "Content-Type:application/json;charset=UTF-8"
  // and `header` as one more line. Follows no redirect; 10 s limits.
  int PostJson(const std::string& url, const std::string& header, const std::string& body,
               std::string& response);
  // A double-valued CURLINFO of the last transfer, 0 when libcurl has none.
  double InfoSeconds(int info);
  // A size-valued (curl_off_t) CURLINFO of the last transfer, such as the
  // announced Content-Length or the bytes received; -1 when libcurl has none.
  int64_t InfoBytes(int info);

  // Read at every operation; change it only between operations.
  TransferPolicy policy;
  ProgressFn progressCallback = nullptr;
  void* progressContext = nullptr;

 private:
  CurlHandle handle;
};
