#include "net/curl_handle.h"

#include <curl/curl.h>

void CurlEasyTraits::Close(CURL* h) { curl_easy_cleanup(h); }

void CurlListTraits::Close(curl_slist* l) { curl_slist_free_all(l); }

CurlHandle CurlHandle::Create() { return CurlHandle(curl_easy_init()); }

bool CurlHeaderList::Append(const char* line) {
  curl_slist* grown = curl_slist_append(get(), line);
  if (!grown) return false;
  release();  // the grown list holds the old one's lines
  reset(grown);
  return true;
}
