// Owners for GDI resources and scope types for their use (Windows build
// only): a GDI object deleted with DeleteObject, a memory DC deleted with
// DeleteDC, a selection into a DC undone at the end of a scope, and a
// window's DC released at the end of a scope.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include "base/unique_resource.h"

// A font, bitmap, brush or pen of our own, deleted with DeleteObject. Stock
// objects are not owned: never put one in here.
template <typename T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
};
using UniqueFont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueResource<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueResource<GdiObjectTraits<HBRUSH>>;

// A DC from CreateCompatibleDC, deleted with DeleteDC.
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Empty() { return nullptr; }
  static bool Valid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeleteDC(h); }
};
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;

// Selects `object` into `dc` for the scope and puts back what was selected
// before. An object must not be deleted while it is selected, so a scope
// ends before the owner of its object does. Does nothing when dc or object
// is null or the selection fails.
class GdiSelection {
 public:
  GdiSelection(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
  ~GdiSelection() {
    if (dc_ && old_) SelectObject(dc_, old_);
  }
  GdiSelection(const GdiSelection&) = delete;
  GdiSelection& operator=(const GdiSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The DC of a window (null: of the screen) for the scope, from GetDC and
// released with ReleaseDC. get() is null when GetDC failed.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};
#endif
