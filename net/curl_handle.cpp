#include "net/curl_handle.h"

#include <curl/curl.h>

CurlHandle CurlHandle::Create() { return CurlHandle(curl_easy_init()); }

void CurlHandle::reset(CURL* h) {
  if (h_) curl_easy_cleanup(h_);
  h_ = h;
}

bool CurlHeaderList::Append(const char* line) {
  curl_slist* grown = curl_slist_append(l_, line);
  if (!grown) return false;
  l_ = grown;
  return true;
}

void CurlHeaderList::reset() {
  if (l_) curl_slist_free_all(l_);
  l_ = nullptr;
}
