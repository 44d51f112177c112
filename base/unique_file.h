// A move-only owner of a C stream: closed with fclose (which flushes it) when
// the owner goes or is reset. Portable; used where a FILE* outlives one scope.
#pragma once
#include <cstdio>
#include <utility>

class UniqueFile {
 public:
  UniqueFile() = default;
  explicit UniqueFile(FILE* f) : f_(f) {}
  ~UniqueFile() { reset(); }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  UniqueFile(UniqueFile&& o) noexcept : f_(std::exchange(o.f_, nullptr)) {}
  UniqueFile& operator=(UniqueFile&& o) noexcept {
    if (this != &o) reset(std::exchange(o.f_, nullptr));
    return *this;
  }
  FILE* get() const { return f_; }
  explicit operator bool() const { return f_ != nullptr; }
  FILE* release() { return std::exchange(f_, nullptr); }
  void reset(FILE* f = nullptr) {
    if (f_) std::fclose(f_);
    f_ = f;
  }

 private:
  FILE* f_ = nullptr;
};
