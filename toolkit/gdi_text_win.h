// Text through GDI: fonts per (face, size, style, scale), measuring, and
// drawing into the pixel surface. GDI writes no alpha on a 32-bit surface,
// so text is rendered white on black into a scratch bitmap and the result
// used as coverage for the text colour.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "base/gdi_win.h"
#include "toolkit/painter.h"

namespace skinui {

// A 32-bit top-down DIB selected into its own memory DC: the window's
// picture, the shadow's, and the text renderer's scratch bitmap.
class Surface {
 public:
  Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  // Makes the bitmap exactly w x h (its pixels are then undefined); false
  // keeps the one there was.
  bool Ensure(int w, int h);
  Canvas MakeCanvas() { return Canvas(bits_, w_, h_, w_); }
  // Null when no DC could be made.
  HDC Dc() const { return dc_.get(); }
  int Width() const { return w_; }
  int Height() const { return h_; }
  const uint32_t* Bits() const { return bits_; }
  // Rows of Width() pixels, for GDI's output read back.
  uint32_t* Pixels() { return bits_; }
  // Shows the surface as the layered window's picture at `screenPos`.
  bool Present(HWND hwnd, POINT screenPos);

 private:
  // In this order: the selection is undone before the bitmap is deleted,
  // and the bitmap before its DC.
  UniqueMemoryDc dc_;
  UniqueBitmap bmp_;
  std::optional<GdiSelection> selected_;
  uint32_t* bits_ = nullptr;
  int w_ = 0, h_ = 0;
};

class GdiTextRenderer : public TextRenderer {
 public:
  GdiTextRenderer() = default;
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
  std::vector<std::pair<FontKey, UniqueFont>> fonts_;
  // White text on black; its DC also measures.
  Surface mask_;
  std::vector<uint8_t> coverage_;
};

}  // namespace skinui
