#include "toolkit/gdi_text_win.h"

#include <algorithm>

namespace skinui {

namespace {

UINT DrawFlags(unsigned style) {
  UINT f = DT_NOPREFIX;
  if (style & kAlignCenter) f |= DT_CENTER;
  else if (style & kAlignRight) f |= DT_RIGHT;
  if (!(style & kWordBreak)) {
    f |= DT_SINGLELINE;
    if (style & kAlignVCenter) f |= DT_VCENTER;
    else if (style & kAlignBottom) f |= DT_BOTTOM;
  } else {
    f |= DT_WORDBREAK;
  }
  if (style & kEndEllipsis) f |= DT_END_ELLIPSIS;
  if (style & kRtlReading) f |= DT_RTLREADING;
  return f;
}

// A 32-bit top-down DIB section for `dc`; null on failure. `bits` receives its pixels.
HBITMAP CreateTopDownDib(HDC dc, int w, int h, uint32_t** bits) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* raw = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &raw, nullptr, 0);
  *bits = bmp ? static_cast<uint32_t*>(raw) : nullptr;
  return bmp;
}

}  // namespace

Surface::Surface() : dc_(CreateCompatibleDC(nullptr)) {}

bool Surface::Ensure(int w, int h) {
  if (w == w_ && h == h_ && bmp_) return true;
  if (!dc_) dc_.reset(CreateCompatibleDC(nullptr));
  if (!dc_) return false;
  uint32_t* bits = nullptr;
  UniqueBitmap bmp(CreateTopDownDib(dc_.get(), w, h, &bits));
  if (!bmp) return false;
  selected_.reset();
  bmp_ = std::move(bmp);
  selected_.emplace(dc_.get(), bmp_.get());
  bits_ = bits;
  w_ = w;
  h_ = h;
  return true;
}

bool Surface::Present(HWND hwnd, POINT screenPos) {
  if (!bmp_) return false;
  GdiFlush();
  SIZE size = {w_, h_};
  POINT src = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return UpdateLayeredWindow(hwnd, nullptr, &screenPos, &size, dc_.get(), &src, 0, &blend, ULW_ALPHA) != FALSE;
}

HFONT GdiTextRenderer::GetFont(const FontDesc& font, int scale) {
  for (auto& f : fonts_)
    if (f.first.scale == scale && f.first.desc == font) return f.second.get();
  LOGFONTW lf = {};
  lf.lfHeight = -std::max(1, ScaleLength(font.size, scale));
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic ? TRUE : FALSE;
  lf.lfUnderline = font.underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lstrcpynW(lf.lfFaceName, font.face.c_str(), LF_FACESIZE);
  HFONT h = CreateFontIndirectW(&lf);
  if (!h) h = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  else fonts_.push_back({FontKey{font, scale}, UniqueFont(h)});
  return h;
}

Size GdiTextRenderer::Measure(const std::wstring& text, const FontDesc& font, int scale) {
  HDC dc = mask_.Dc();
  if (!dc || text.empty()) return Size{};
  GdiSelection selected(dc, GetFont(font, scale));
  RECT rc = {0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  Size size{rc.right - rc.left, rc.bottom - rc.top};
  // The ink may reach past the advance widths (an underlined or italic last
  // letter, a rasteriser whose drawn advances differ from its metrics): a
  // text is as wide as the ink it draws, so that a control sized to it shows
  // the last letter whole.
  const int w = size.cx + size.cy, h = size.cy;
  if (w <= 0 || h <= 0 || !EnsureMask(w, h)) return size;
  GdiFlush();
  uint32_t* const pixels = mask_.Pixels();
  const size_t stride = static_cast<size_t>(mask_.Width());
  for (int y = 0; y < h; ++y) std::fill(pixels + y * stride, pixels + y * stride + w, 0u);
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, TRANSPARENT);
  RECT ink = {0, 0, w, h};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &ink, DT_SINGLELINE | DT_NOPREFIX);
  GdiFlush();
  int right = 0;
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = pixels + y * stride;
    for (int x = w - 1; x >= right; --x)
      if (row[x] & 0xFFFFFF) {
        right = x + 1;
        break;
      }
  }
  size.cx = std::max(size.cx, right);
  return size;
}

bool GdiTextRenderer::EnsureMask(int w, int h) {
  // The scratch bitmap only grows.
  if (w <= mask_.Width() && h <= mask_.Height() && mask_.Pixels()) return true;
  return mask_.Ensure(std::max(w, mask_.Width()), std::max(h, mask_.Height()));
}

void GdiTextRenderer::Draw(Canvas& canvas, const std::wstring& text, const Rect& r, const FontDesc& font, int scale,
                           uint32_t argb, unsigned style) {
  const int w = r.Width(), h = r.Height();
  HDC dc = mask_.Dc();
  if (!dc || w <= 0 || h <= 0 || text.empty() || !EnsureMask(w, h)) return;
  GdiFlush();
  uint32_t* const pixels = mask_.Pixels();
  const size_t stride = static_cast<size_t>(mask_.Width());
  for (int y = 0; y < h; ++y) std::fill(pixels + y * stride, pixels + y * stride + w, 0u);
  {
    GdiSelection selected(dc, GetFont(font, scale));
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    RECT rc = {0, 0, w, h};
    UINT flags = DrawFlags(style);
    if ((style & kWordBreak) && (style & (kAlignVCenter | kAlignBottom))) {
      RECT calc = rc;
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, flags | DT_CALCRECT);
      int th = calc.bottom - calc.top;
      if (th < h) rc.top = (style & kAlignBottom) ? h - th : (h - th) / 2;
    }
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags);
  }
  GdiFlush();
  coverage_.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = pixels + y * stride;
    uint8_t* out = coverage_.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      uint32_t p = row[x];
      out[x] = static_cast<uint8_t>(std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}));
    }
  }
  canvas.BlendCoverage(coverage_.data(), w, r, argb);
}

}  // namespace skinui
