// Plain geometry and the scale arithmetic every length of the toolkit goes
// through. A scale is a percentage: 100 at 96 DPI, 150 at 144 DPI.
#pragma once
#include <algorithm>

namespace skinui {

struct Size {
  int cx = 0;
  int cy = 0;
  bool operator==(const Size& o) const { return cx == o.cx && cy == o.cy; }
};

struct Point {
  int x = 0;
  int y = 0;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Rect Intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    if (r.Empty()) return Rect{};
    return r;
  }
  Rect Offset(int dx, int dy) const { return Rect{left + dx, top + dy, right + dx, bottom + dy}; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

// `value` (given at 100 %) at `scale` percent, rounded to the nearest pixel.
inline int ScaleLength(int value, int scale) {
  long long v = static_cast<long long>(value) * scale;
  return static_cast<int>(v >= 0 ? (v + 50) / 100 : -((-v + 50) / 100));
}
inline Size ScaleSize(Size s, int scale) { return Size{ScaleLength(s.cx, scale), ScaleLength(s.cy, scale)}; }
inline Rect ScaleRect(const Rect& r, int scale) {
  return Rect{ScaleLength(r.left, scale), ScaleLength(r.top, scale), ScaleLength(r.right, scale),
              ScaleLength(r.bottom, scale)};
}
// The scale of a DPI value: DPI x 100 / 96 rounded; DPI above 192 counts as 192.
inline int ScaleForDpi(int dpi) {
  if (dpi <= 0) dpi = 96;
  dpi = std::min(dpi, 192);
  return (dpi * 100 + 48) / 96;
}

}  // namespace skinui
