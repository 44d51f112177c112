// The owners of Win32 kernel handles and registry keys (Windows build only).
#pragma once
#ifdef _WIN32
#include <windows.h>

#include "base/unique_resource.h"

// A kernel handle closed with CloseHandle. Treats both null and
// INVALID_HANDLE_VALUE as "none".
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// An open registry key closed with RegCloseKey.
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};
using RegKey = UniqueResource<RegKeyTraits>;
#endif
