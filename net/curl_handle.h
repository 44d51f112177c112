// Move-only owners of libcurl's resources, so that no path releases them by
// hand. libcurl's header stays out: users that set options include it.
#pragma once
#include "base/unique_resource.h"

typedef void CURL;
struct curl_slist;

struct CurlEasyTraits {
  using Handle = CURL*;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h);  // curl_easy_cleanup
};

// An easy handle, cleaned up with curl_easy_cleanup.
class CurlHandle : public UniqueResource<CurlEasyTraits> {
 public:
  using UniqueResource::UniqueResource;
  // A fresh handle from curl_easy_init; empty when libcurl could not make one.
  static CurlHandle Create();
};

struct CurlListTraits {
  using Handle = curl_slist*;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h);  // curl_slist_free_all
};

// A header list, freed with curl_slist_free_all. A handle that uses it must
// drop it (CURLOPT_HTTPHEADER = null) before the list goes.
class CurlHeaderList : public UniqueResource<CurlListTraits> {
 public:
  using UniqueResource::UniqueResource;
  // Appends one line; false (the list unchanged) when out of memory.
  bool Append(const char* line);
};
