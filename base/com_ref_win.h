// An owned COM interface pointer, released when it goes out of scope
// (Windows build only).
#pragma once
#ifdef _WIN32
// <windows.h> must come before the other system headers.
// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

#include "base/unique_resource.h"

template <typename T>
struct ComReleaseTraits {
  using Handle = T*;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle p) { return p != nullptr; }
  static void Close(Handle p) { p->Release(); }
};

template <typename T>
class ComRef : public UniqueResource<ComReleaseTraits<T>> {
 public:
  using UniqueResource<ComReleaseTraits<T>>::UniqueResource;
  T* operator->() const { return this->get(); }
  // For the out-parameter of CoCreateInstance and QueryInterface.
  void** put_void() { return reinterpret_cast<void**>(this->put()); }
};
#endif
