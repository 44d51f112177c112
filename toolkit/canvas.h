// Drawing into a premultiplied BGRA pixel buffer (the window's DIB, or a
// plain buffer in tests): fills, smooth image scaling, nine-slice, rotation
// and coverage masks for text. Everything composites "source over".
#pragma once
#include <cstdint>
#include <vector>

#include "toolkit/geometry.h"
#include "toolkit/image.h"

namespace skinui {

class Canvas {
 public:
  // `pixels` is width x height with `stride` pixels per row; not owned.
  Canvas(uint32_t* pixels, int width, int height, int stride);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const Rect& Clip() const { return clip_; }
  void SetClip(const Rect& r);
  uint32_t Pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * stride_ + x]; }

  void Clear(uint32_t premultiplied);
  // `argb` is a plain (not premultiplied) colour with alpha.
  void FillRect(const Rect& r, uint32_t argb);
  void FillRoundRect(const Rect& r, int radius, uint32_t argb);
  // Scales `src` (a part of `img`) into `dst`; `alpha` 0..255 fades it.
  void DrawImage(const Image& img, const Rect& src, const Rect& dst, int alpha = 255);
  // Nine-slice: `srcCorner` in image pixels, `dstCorner` in canvas pixels.
  void DrawNineSlice(const Image& img, const Rect& srcCorner, const Rect& dst, const Rect& dstCorner, int alpha = 255);
  // `img` turned by `degrees` clockwise about the centre of `dst`.
  void DrawRotated(const Image& img, const Rect& dst, int degrees, int alpha = 255);
  // Paints `argb` through an 8-bit coverage mask laid over `dst`.
  void BlendCoverage(const uint8_t* coverage, int coverageStride, const Rect& dst, uint32_t argb);

 private:
  void Blend(int x, int y, uint32_t premultiplied);

  uint32_t* pixels_;
  int width_, height_, stride_;
  Rect clip_;
};

// A buffer with its own pixels.
struct Bitmap {
  Bitmap(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0) {}
  Canvas MakeCanvas() { return Canvas(pixels.data(), width, height, width); }
  int width, height;
  std::vector<uint32_t> pixels;
};

}  // namespace skinui
