// Move-only owners of libcurl's resources, so that no path releases them by
// hand. libcurl's header stays out: users that set options include it.
#pragma once
#include <utility>

typedef void CURL;
struct curl_slist;

// An easy handle, cleaned up with curl_easy_cleanup.
class CurlHandle {
 public:
  CurlHandle() = default;
  explicit CurlHandle(CURL* h) : h_(h) {}
  ~CurlHandle() { reset(); }
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;
  CurlHandle(CurlHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  CurlHandle& operator=(CurlHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  // A fresh handle from curl_easy_init; empty when libcurl could not make one.
  static CurlHandle Create();

  CURL* get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset(CURL* h = nullptr);

 private:
  CURL* h_ = nullptr;
};

// A header list, freed with curl_slist_free_all. A handle that uses it must
// drop it (CURLOPT_HTTPHEADER = null) before the list goes.
class CurlHeaderList {
 public:
  CurlHeaderList() = default;
  ~CurlHeaderList() { reset(); }
  CurlHeaderList(const CurlHeaderList&) = delete;
  CurlHeaderList& operator=(const CurlHeaderList&) = delete;
  CurlHeaderList(CurlHeaderList&& o) noexcept : l_(std::exchange(o.l_, nullptr)) {}
  CurlHeaderList& operator=(CurlHeaderList&& o) noexcept {
    if (this != &o) {
      reset();
      l_ = std::exchange(o.l_, nullptr);
    }
    return *this;
  }
  // Appends one line; false (the list unchanged) when out of memory.
  bool Append(const char* line);

  curl_slist* get() const { return l_; }
  explicit operator bool() const { return l_ != nullptr; }
  void reset();

 private:
  curl_slist* l_ = nullptr;
};
