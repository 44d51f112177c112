// Text is measured and drawn by the same GDI renderer: the width measured for
// an auto-sized control (a link, a check box's text) must hold all the ink
// drawn, or the last letter is cut off.
#include "toolkit/gdi_text_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/canvas.h"

namespace skinui {
namespace {

// The column after the last one the text inked, drawn from x = 0 on a canvas
// much wider than the text.
int InkedWidth(GdiTextRenderer& renderer, const std::wstring& text, const FontDesc& font, int scale) {
  const int w = 800, h = 80;
  std::vector<uint32_t> pixels(w * h, 0);
  Canvas canvas(pixels.data(), w, h, w);
  renderer.Draw(canvas, text, Rect{0, 0, w, h}, font, scale, 0xFFFFFFFF, kAlignLeft | kAlignVCenter);
  int right = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (pixels[y * w + x] & 0xFF000000) right = std::max(right, x + 1);
  return right;
}

TEST(GdiText, TheMeasuredWidthHoldsAllTheInk) {
  FontDesc link;
  link.face = L"Arial";
  link.size = 12;
  link.underline = true;
  FontDesc text = link;
  text.underline = false;
  text.size = 13;
  for (const FontDesc& font : {link, text}) {
    for (const wchar_t* s : {L"Terms of Use Agreement", L"Agree to", L"Nutzungsbedingungen"}) {
      for (int scale : {100, 150, 200}) {
        GdiTextRenderer renderer;
        const int measured = renderer.Measure(s, font, scale).cx;
        const int inked = InkedWidth(renderer, s, font, scale);
        EXPECT_GT(inked, measured / 2);
        EXPECT_LE(inked, measured) << "scale " << scale << " size " << font.size << ": " << std::string(s, s + wcslen(s));
      }
    }
  }
}

}  // namespace
}  // namespace skinui
