// Helpers shared by the toolkit's tests.
#pragma once
#include <ostream>
#include <string>

#include "toolkit/geometry.h"
#include "toolkit/painter.h"

namespace skinui {

inline std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

// Text of `size` px is size/2 px wide per character; drawing fills the
// text rectangle's first pixel row so tests can see where text went.
class FixedTextRenderer : public TextRenderer {
 public:
  Size Measure(const std::wstring& text, const FontDesc& f, int scale) override {
    return Size{ScaleLength(static_cast<int>(text.size()) * f.size / 2, scale), ScaleLength(f.size, scale)};
  }
  void Draw(Canvas& c, const std::wstring& text, const Rect& r, const FontDesc& f, int scale, uint32_t argb,
            unsigned style) override {
    ++draws;
    lastText = text;
    lastStyle = style;
    c.FillRect(Rect{r.left, r.top, r.right, r.top + 1}, argb);
  }
  int draws = 0;
  std::wstring lastText;
  unsigned lastStyle = 0;
};

}  // namespace skinui
