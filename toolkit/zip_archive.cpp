#include "toolkit/zip_archive.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include <minizip/unzip.h>

namespace {

// minizip file functions over a memory block; the "stream" is a cursor.
struct Cursor {
  const unsigned char* data;
  size_t size;
  size_t pos;
};

voidpf ZCALLBACK MemOpen(voidpf opaque, const char*, int) {
  auto* m = static_cast<const Cursor*>(opaque);
  return new Cursor{m->data, m->size, 0};
}
uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* c = static_cast<Cursor*>(stream);
  size_t n = std::min<size_t>(size, c->size - c->pos);
  std::memcpy(buf, c->data + c->pos, n);
  c->pos += n;
  return static_cast<uLong>(n);
}
uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong) { return 0; }
long ZCALLBACK MemTell(voidpf, voidpf stream) { return static_cast<long>(static_cast<Cursor*>(stream)->pos); }
long ZCALLBACK MemSeek(voidpf, voidpf stream, uLong offset, int origin) {
  auto* c = static_cast<Cursor*>(stream);
  size_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = c->pos; break;
    case ZLIB_FILEFUNC_SEEK_END: base = c->size; break;
    default: return -1;
  }
  if (offset > c->size - base) return -1;
  c->pos = base + offset;
  return 0;
}
int ZCALLBACK MemClose(voidpf, voidpf stream) {
  delete static_cast<Cursor*>(stream);
  return 0;
}
int ZCALLBACK MemError(voidpf, voidpf) { return 0; }

std::string ZipName(const std::string& name) {
  std::string n = name;
  std::replace(n.begin(), n.end(), '\\', '/');
  while (!n.empty() && n[0] == '/') n.erase(0, 1);
  return n;
}

}  // namespace

ZipArchive::~ZipArchive() { Close(); }

bool ZipArchive::Open(const void* data, size_t size) {
  Close();
  if (!data || size == 0) return false;
  memory_.data = static_cast<const unsigned char*>(data);
  memory_.size = size;
  zlib_filefunc_def funcs{};
  funcs.zopen_file = MemOpen;
  funcs.zread_file = MemRead;
  funcs.zwrite_file = MemWrite;
  funcs.ztell_file = MemTell;
  funcs.zseek_file = MemSeek;
  funcs.zclose_file = MemClose;
  funcs.zerror_file = MemError;
  funcs.opaque = &memory_;
  zip_ = unzOpen2("skin", &funcs);
  return zip_ != nullptr;
}

void ZipArchive::Close() {
  if (zip_) unzClose(static_cast<unzFile>(zip_));
  zip_ = nullptr;
}

bool ZipArchive::Read(const std::string& name, std::string& out) const {
  out.clear();
  if (!zip_) return false;
  auto zf = static_cast<unzFile>(zip_);
  if (unzLocateFile(zf, ZipName(name).c_str(), 2) != UNZ_OK) return false;
  unz_file_info info{};
  if (unzGetCurrentFileInfo(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
  if (unzOpenCurrentFile(zf) != UNZ_OK) return false;
  // The size in the header is only a claim: the content grows with what is
  // actually inflated, so a corrupted header never makes us allocate (or,
  // in a 32-bit process, fail to allocate) whatever it claims.
  std::string content;
  char chunk[16384];
  bool readOk = true;
  for (;;) {
    const int n = unzReadCurrentFile(zf, chunk, sizeof chunk);
    if (n < 0) readOk = false;
    if (n <= 0) break;
    content.append(chunk, static_cast<size_t>(n));
  }
  const bool crcOk = unzCloseCurrentFile(zf) == UNZ_OK;
  if (!readOk || !crcOk || content.size() != info.uncompressed_size) return false;
  out.swap(content);
  return true;
}

namespace {
std::mutex skinLock;
ZipArchive& Skin() {
  static ZipArchive archive;
  return archive;
}
}  // namespace

void SetSkinArchive(const void* data, size_t size) {
  std::lock_guard<std::mutex> lock(skinLock);
  Skin().Open(data, size);
}

bool ReadSkinFile(const std::string& name, std::string& out) {
  std::lock_guard<std::mutex> lock(skinLock);
  return Skin().Read(name, out);
}

bool HasSkinArchive() {
  std::lock_guard<std::mutex> lock(skinLock);
  return Skin().IsOpen();
}
