// A move-only owner of a C stream: closed with fclose (which flushes it) when
// the owner goes or is reset. Portable; used where a FILE* outlives one scope.
#pragma once
#include <cstdio>

#include "base/unique_resource.h"

struct FileStreamTraits {
  using Handle = FILE*;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { std::fclose(h); }
};
using UniqueFile = UniqueResource<FileStreamTraits>;
