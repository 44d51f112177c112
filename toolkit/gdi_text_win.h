// Text through GDI: fonts per (face, size, style, scale), measuring, and
// drawing into the pixel surface. GDI writes no alpha on a 32-bit surface,
// so text is rendered white on black into a scratch bitmap and the result
// used as coverage for the text colour.
#pragma once
#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "toolkit/painter.h"

namespace skinui {

// A 32-bit top-down DIB section for `dc`; null on failure. `bits` receives its pixels.
HBITMAP CreateTopDownDib(HDC dc, int w, int h, uint32_t** bits);

class GdiTextRenderer : public TextRenderer {
 public:
  GdiTextRenderer();
  ~GdiTextRenderer() override;
  GdiTextRenderer(const GdiTextRenderer&) = delete;
  GdiTextRenderer& operator=(const GdiTextRenderer&) = delete;

  // Owned by the renderer; valid until it is destroyed.
  HFONT GetFont(const FontDesc& font, int scale);
  Size Measure(const std::wstring& text, const FontDesc& font, int scale) override;
  void Draw(Canvas& canvas, const std::wstring& text, const Rect& r, const FontDesc& font, int scale, uint32_t argb,
            unsigned style) override;

 private:
  bool EnsureMask(int w, int h);

  struct FontKey {
    FontDesc desc;
    int scale;
  };
  std::vector<std::pair<FontKey, HFONT>> fonts_;
  HDC dc_ = nullptr;
  HBITMAP mask_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  uint32_t* maskBits_ = nullptr;
  int maskW_ = 0, maskH_ = 0;
  std::vector<uint8_t> coverage_;
};

}  // namespace skinui
