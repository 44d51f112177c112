// What one download answer serves: the content as it is, or a variant made
// for a test of the installer's checks — the signature stripped, one byte
// changed, the file cut, another signed file. A variant never copies the
// file: it reads through to its source and replaces a few bytes.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/vendor_sim/content.h"

struct ContentVariant {
  const Content* source = nullptr;
  int64_t size = 0;  // at most source->size()
  std::vector<std::pair<int64_t, char>> patches;  // offset, byte served instead

  bool whole() const { return source && patches.empty() && size == source->size(); }
  // Copies [offset, offset + len) of the variant into `out`; false beyond
  // the end or on a read error.
  bool Read(int64_t offset, size_t len, char* out) const;
};

ContentVariant WholeContent(const Content& content);
// One byte changed (its lowest bit flipped) at `offset`, or in the middle of
// the file when `offset` is negative or beyond the end.
ContentVariant TamperedContent(const Content& content, int64_t offset);
// The first `size` bytes only (the whole content when it is shorter).
ContentVariant TruncatedContent(const Content& content, int64_t size);
// A signed Windows program without its Authenticode signature: the security
// directory entry zeroed and the certificate table at the end cut off. A file
// that is no program or carries no signature is served as it is.
ContentVariant UnsignedContent(const Content& content);
