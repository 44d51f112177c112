// Small RAII owners for Win32 handles (Windows build only).
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <utility>

// A kernel handle closed with CloseHandle. Treats both null and
// INVALID_HANDLE_VALUE as "none".
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() { return std::exchange(h_, nullptr); }
  void reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// An open registry key closed with RegCloseKey.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { reset(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY get() const { return k_; }
  HKEY* put() {
    reset();
    return &k_;
  }
  explicit operator bool() const { return k_ != nullptr; }
  void reset() {
    if (k_) RegCloseKey(k_);
    k_ = nullptr;
  }

 private:
  HKEY k_ = nullptr;
};
#endif
