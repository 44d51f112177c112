// An owned COM interface pointer, released when it goes out of scope
// (Windows build only).
#pragma once
#ifdef _WIN32
// <windows.h> must come before the other system headers.
// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

#include <utility>

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For the out-parameter of CoCreateInstance and QueryInterface.
  void** put_void() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};
#endif
