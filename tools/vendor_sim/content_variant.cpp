#include "tools/vendor_sim/content_variant.h"

namespace {

bool ReadU32(const Content& c, int64_t offset, uint32_t& value) {
  unsigned char b[4];
  if (!c.Read(offset, 4, reinterpret_cast<char*>(b))) return false;
  value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  return true;
}

bool ReadU16(const Content& c, int64_t offset, uint16_t& value) {
  unsigned char b[2];
  if (!c.Read(offset, 2, reinterpret_cast<char*>(b))) return false;
  value = static_cast<uint16_t>(b[0] | (b[1] << 8));
  return true;
}

}  // namespace

bool ContentVariant::Read(int64_t offset, size_t len, char* out) const {
  if (!source || offset < 0 || offset + static_cast<int64_t>(len) > size) return false;
  if (!source->Read(offset, len, out)) return false;
  for (const auto& [at, byte] : patches)
    if (at >= offset && at < offset + static_cast<int64_t>(len)) out[at - offset] = byte;
  return true;
}

ContentVariant WholeContent(const Content& content) {
  ContentVariant v;
  v.source = &content;
  v.size = content.size();
  return v;
}

ContentVariant TamperedContent(const Content& content, int64_t offset) {
  ContentVariant v = WholeContent(content);
  if (v.size == 0) return v;
  if (offset < 0 || offset >= v.size) offset = v.size / 2;
  char byte = 0;
  if (content.Read(offset, 1, &byte)) v.patches.emplace_back(offset, static_cast<char>(byte ^ 0x01));
  return v;
}

ContentVariant TruncatedContent(const Content& content, int64_t size) {
  ContentVariant v = WholeContent(content);
  if (size >= 0 && size < v.size) v.size = size;
  return v;
}

ContentVariant UnsignedContent(const Content& content) {
  ContentVariant v = WholeContent(content);
  uint16_t mz = 0, magic = 0;
  uint32_t peOffset = 0, pe = 0, tableOffset = 0, tableSize = 0;
  if (!ReadU16(content, 0, mz) || mz != 0x5A4D || !ReadU32(content, 0x3C, peOffset) ||
      !ReadU32(content, peOffset, pe) || pe != 0x00004550)
    return v;
  const int64_t optional = int64_t{peOffset} + 24;
  if (!ReadU16(content, optional, magic) || (magic != 0x10B && magic != 0x20B)) return v;
  // The data directories follow the fixed part of the optional header; the
  // security directory is the fifth, and its "address" is a file offset.
  const int64_t security = optional + (magic == 0x10B ? 96 : 112) + 4 * 8;
  if (!ReadU32(content, security, tableOffset) || !ReadU32(content, security + 4, tableSize)) return v;
  if (tableOffset == 0 || tableSize == 0 || tableOffset > content.size()) return v;
  v.size = tableOffset;
  for (int i = 0; i < 8; ++i) v.patches.emplace_back(security + i, '\0');
  return v;
}
