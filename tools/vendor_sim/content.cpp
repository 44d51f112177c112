#include "tools/vendor_sim/content.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

Content::~Content() {
  if (fd_ >= 0) close(fd_);
}

bool Content::OpenFile(const std::string& path) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size_ = st.st_size;
  return true;
}

void Content::Generate(int64_t size) {
  memory_.resize(static_cast<size_t>(size));
  uint32_t x = 0x9E3779B9u;
  for (auto& c : memory_) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  size_ = size;
}

bool Content::Read(int64_t offset, size_t len, char* out) const {
  if (offset < 0 || offset + static_cast<int64_t>(len) > size_) return false;
  if (fd_ < 0) {
    std::memcpy(out, memory_.data() + offset, len);
    return true;
  }
  size_t done = 0;
  while (done < len) {
    ssize_t n = pread(fd_, out + done, len - done, offset + static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

const std::string& Content::Gzipped() {
  std::lock_guard<std::mutex> lock(gzipMutex_);
  if (gzipDone_) return gzip_;
  gzipDone_ = true;
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return gzip_;
  std::vector<char> in(256 * 1024), out(256 * 1024);
  int64_t offset = 0;
  int flush = Z_NO_FLUSH;
  bool ok = true;
  do {
    size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(in.size()), size_ - offset));
    if (!Read(offset, n, in.data())) {
      ok = false;
      break;
    }
    offset += static_cast<int64_t>(n);
    flush = offset >= size_ ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, flush);
      gzip_.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  if (!ok) gzip_.clear();
  return gzip_;
}
