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

}  // namespace

GdiTextRenderer::GdiTextRenderer() { dc_ = CreateCompatibleDC(nullptr); }

GdiTextRenderer::~GdiTextRenderer() {
  if (dc_ && oldBitmap_) SelectObject(dc_, oldBitmap_);
  if (mask_) DeleteObject(mask_);
  for (auto& f : fonts_) DeleteObject(f.second);
  if (dc_) DeleteDC(dc_);
}

HFONT GdiTextRenderer::GetFont(const FontDesc& font, int scale) {
  for (auto& f : fonts_)
    if (f.first.scale == scale && f.first.desc == font) return f.second;
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
  else fonts_.push_back({FontKey{font, scale}, h});
  return h;
}

Size GdiTextRenderer::Measure(const std::wstring& text, const FontDesc& font, int scale) {
  if (!dc_ || text.empty()) return Size{};
  HGDIOBJ old = SelectObject(dc_, GetFont(font, scale));
  RECT rc = {0, 0, 0, 0};
  DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  Size size{rc.right - rc.left, rc.bottom - rc.top};
  // The ink may reach past the advance widths (an underlined or italic last
  // letter, a rasteriser whose drawn advances differ from its metrics): a
  // text is as wide as the ink it draws, so that a control sized to it shows
  // the last letter whole.
  const int w = size.cx + size.cy, h = size.cy;
  if (w > 0 && h > 0 && EnsureMask(w, h)) {
    GdiFlush();
    for (int y = 0; y < h; ++y)
      std::fill(maskBits_ + static_cast<size_t>(y) * maskW_, maskBits_ + static_cast<size_t>(y) * maskW_ + w,
                0u);
    SetTextColor(dc_, RGB(255, 255, 255));
    SetBkMode(dc_, TRANSPARENT);
    RECT ink = {0, 0, w, h};
    DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &ink, DT_SINGLELINE | DT_NOPREFIX);
    GdiFlush();
    int right = 0;
    for (int y = 0; y < h; ++y) {
      const uint32_t* row = maskBits_ + static_cast<size_t>(y) * maskW_;
      for (int x = w - 1; x >= right; --x)
        if (row[x] & 0xFFFFFF) {
          right = x + 1;
          break;
        }
    }
    size.cx = std::max(size.cx, right);
  }
  SelectObject(dc_, old);
  return size;
}

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

bool GdiTextRenderer::EnsureMask(int w, int h) {
  if (w <= maskW_ && h <= maskH_ && mask_) return true;
  w = std::max(w, maskW_);
  h = std::max(h, maskH_);
  uint32_t* bits = nullptr;
  HBITMAP bmp = CreateTopDownDib(dc_, w, h, &bits);
  if (!bmp) return false;
  if (oldBitmap_) SelectObject(dc_, oldBitmap_);
  if (mask_) DeleteObject(mask_);
  mask_ = bmp;
  oldBitmap_ = SelectObject(dc_, mask_);
  maskBits_ = bits;
  maskW_ = w;
  maskH_ = h;
  return true;
}

void GdiTextRenderer::Draw(Canvas& canvas, const std::wstring& text, const Rect& r, const FontDesc& font, int scale,
                           uint32_t argb, unsigned style) {
  const int w = r.Width(), h = r.Height();
  if (!dc_ || w <= 0 || h <= 0 || text.empty() || !EnsureMask(w, h)) return;
  GdiFlush();
  for (int y = 0; y < h; ++y) std::fill(maskBits_ + static_cast<size_t>(y) * maskW_, maskBits_ + static_cast<size_t>(y) * maskW_ + w, 0u);
  HGDIOBJ oldFont = SelectObject(dc_, GetFont(font, scale));
  SetTextColor(dc_, RGB(255, 255, 255));
  SetBkMode(dc_, TRANSPARENT);
  RECT rc = {0, 0, w, h};
  UINT flags = DrawFlags(style);
  if ((style & kWordBreak) && (style & (kAlignVCenter | kAlignBottom))) {
    RECT calc = rc;
    DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &calc, flags | DT_CALCRECT);
    int th = calc.bottom - calc.top;
    if (th < h) rc.top = (style & kAlignBottom) ? h - th : (h - th) / 2;
  }
  DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &rc, flags);
  SelectObject(dc_, oldFont);
  GdiFlush();
  coverage_.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = maskBits_ + static_cast<size_t>(y) * maskW_;
    uint8_t* out = coverage_.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      uint32_t p = row[x];
      out[x] = static_cast<uint8_t>(std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}));
    }
  }
  canvas.BlendCoverage(coverage_.data(), w, r, argb);
}

}  // namespace skinui
