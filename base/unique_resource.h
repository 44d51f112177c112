// One move-only owner for every kind of resource the program releases by
// hand: a kernel handle, a registry key, a C stream, a libcurl handle, a COM
// reference, a GDI object. What differs between them lives in a small traits
// type:
//
//   struct Traits {
//     using Handle = ...;                    // the raw value held
//     static Handle Empty();                 // the value of "nothing held"
//     static bool Valid(Handle h);           // whether h must be released
//     static void Close(Handle h);           // releases a valid h
//   };
//
// The owner releases what it holds when it goes, is reset or is assigned
// another owner; release() hands the value back without releasing it.
// Portable; the Windows traits are in base/win_handle.h and base/gdi_win.h.
#pragma once
#include <utility>

template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() = default;
  explicit UniqueResource(Handle h) : h_(h) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& o) noexcept : h_(o.release()) {}
  UniqueResource& operator=(UniqueResource&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  Handle get() const { return h_; }
  bool valid() const { return Traits::Valid(h_); }
  explicit operator bool() const { return valid(); }
  // Gives up ownership: the caller releases the value.
  Handle release() { return std::exchange(h_, Traits::Empty()); }
  // Releases what is held and holds `h` instead.
  void reset(Handle h = Traits::Empty()) {
    const Handle old = std::exchange(h_, h);
    if (Traits::Valid(old)) Traits::Close(old);
  }
  // For a function that returns the resource through an out-parameter
  // (RegOpenKeyExW, CreatePipe): releases what is held first.
  Handle* put() {
    reset();
    return &h_;
  }

 private:
  Handle h_ = Traits::Empty();
};

