#include "toolkit/canvas.h"

#include <algorithm>
#include <cmath>

namespace skinui {

namespace {

inline uint32_t Premultiply(uint32_t argb, int alpha = 255) {
  uint32_t a = ((argb >> 24) * static_cast<uint32_t>(alpha) + 127) / 255;
  uint32_t r = (((argb >> 16) & 0xFF) * a + 127) / 255;
  uint32_t g = (((argb >> 8) & 0xFF) * a + 127) / 255;
  uint32_t b = ((argb & 0xFF) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

inline uint32_t FadePremultiplied(uint32_t p, int alpha) {
  if (alpha >= 255) return p;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8)
    out |= ((((p >> shift) & 0xFF) * static_cast<uint32_t>(alpha) + 127) / 255) << shift;
  return out;
}

// Bilinear sample at (fx, fy) in image pixel space (centres at +0.5),
// clamped to the source rectangle.
uint32_t Sample(const Image& img, const Rect& src, double fx, double fy) {
  fx -= 0.5;
  fy -= 0.5;
  fx = std::max<double>(src.left, std::min<double>(fx, src.right - 1));
  fy = std::max<double>(src.top, std::min<double>(fy, src.bottom - 1));
  int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
  int x1 = std::min(x0 + 1, src.right - 1), y1 = std::min(y0 + 1, src.bottom - 1);
  double tx = fx - x0, ty = fy - y0;
  uint32_t p00 = img.At(x0, y0), p10 = img.At(x1, y0), p01 = img.At(x0, y1), p11 = img.At(x1, y1);
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    double c00 = (p00 >> shift) & 0xFF, c10 = (p10 >> shift) & 0xFF;
    double c01 = (p01 >> shift) & 0xFF, c11 = (p11 >> shift) & 0xFF;
    double v = (c00 * (1 - tx) + c10 * tx) * (1 - ty) + (c01 * (1 - tx) + c11 * tx) * ty;
    out |= static_cast<uint32_t>(std::min(255.0, v + 0.5)) << shift;
  }
  return out;
}

}  // namespace

Canvas::Canvas(uint32_t* pixels, int width, int height, int stride)
    : pixels_(pixels), width_(width), height_(height), stride_(stride), clip_{0, 0, width, height} {}

void Canvas::SetClip(const Rect& r) { clip_ = r.Intersect(Rect{0, 0, width_, height_}); }

void Canvas::Blend(int x, int y, uint32_t s) {
  uint32_t& d = pixels_[static_cast<size_t>(y) * stride_ + x];
  uint32_t sa = s >> 24;
  if (sa == 255) {
    d = s;
    return;
  }
  if (sa == 0 && s == 0) return;
  uint32_t inv = 255 - sa;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    uint32_t v = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * inv + 127) / 255;
    out |= std::min<uint32_t>(v, 255) << shift;
  }
  d = out;
}

void Canvas::Clear(uint32_t p) {
  for (int y = 0; y < height_; ++y) std::fill(pixels_ + static_cast<size_t>(y) * stride_, pixels_ + static_cast<size_t>(y) * stride_ + width_, p);
}

void Canvas::FillRect(const Rect& r, uint32_t argb) {
  Rect c = r.Intersect(clip_);
  uint32_t p = Premultiply(argb);
  for (int y = c.top; y < c.bottom; ++y)
    for (int x = c.left; x < c.right; ++x) Blend(x, y, p);
}

void Canvas::FillRoundRect(const Rect& r, int radius, uint32_t argb) {
  Rect c = r.Intersect(clip_);
  radius = std::min({radius, r.Width() / 2, r.Height() / 2});
  for (int y = c.top; y < c.bottom; ++y) {
    for (int x = c.left; x < c.right; ++x) {
      // Coverage by distance from the nearest corner centre (4x4 samples).
      int covered = 0;
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          double px = x + (sx + 0.5) / 4, py = y + (sy + 0.5) / 4;
          double cx = std::max<double>(r.left + radius, std::min<double>(px, r.right - radius));
          double cy = std::max<double>(r.top + radius, std::min<double>(py, r.bottom - radius));
          double dx = px - cx, dy = py - cy;
          if (dx * dx + dy * dy <= static_cast<double>(radius) * radius) ++covered;
        }
      }
      if (covered) Blend(x, y, Premultiply(argb, covered * 255 / 16));
    }
  }
}

void Canvas::DrawImage(const Image& img, const Rect& src, const Rect& dst, int alpha) {
  if (src.Empty() || dst.Empty() || img.pixels.empty()) return;
  Rect c = dst.Intersect(clip_);
  if (c.Empty()) return;
  const double sx = static_cast<double>(src.Width()) / dst.Width();
  const double sy = static_cast<double>(src.Height()) / dst.Height();
  const bool same = src.Width() == dst.Width() && src.Height() == dst.Height();
  // Shrinking by more than half: average several bilinear samples.
  const int ssx = sx > 1.5 ? static_cast<int>(std::ceil(sx)) : 1;
  const int ssy = sy > 1.5 ? static_cast<int>(std::ceil(sy)) : 1;
  for (int y = c.top; y < c.bottom; ++y) {
    for (int x = c.left; x < c.right; ++x) {
      uint32_t p;
      if (same) {
        p = img.At(src.left + x - dst.left, src.top + y - dst.top);
      } else if (ssx == 1 && ssy == 1) {
        p = Sample(img, src, src.left + (x - dst.left + 0.5) * sx, src.top + (y - dst.top + 0.5) * sy);
      } else {
        uint32_t acc[4] = {0, 0, 0, 0};
        for (int j = 0; j < ssy; ++j)
          for (int i = 0; i < ssx; ++i) {
            uint32_t q = Sample(img, src, src.left + (x - dst.left + (i + 0.5) / ssx) * sx,
                                src.top + (y - dst.top + (j + 0.5) / ssy) * sy);
            for (int k = 0; k < 4; ++k) acc[k] += (q >> (k * 8)) & 0xFF;
          }
        const uint32_t n = static_cast<uint32_t>(ssx * ssy);
        p = 0;
        for (int k = 0; k < 4; ++k) p |= ((acc[k] + n / 2) / n) << (k * 8);
      }
      Blend(x, y, FadePremultiplied(p, alpha));
    }
  }
}

void Canvas::DrawNineSlice(const Image& img, const Rect& sc, const Rect& dst, const Rect& dc, int alpha) {
  const int sxs[4] = {0, sc.left, img.width - sc.right, img.width};
  const int sys[4] = {0, sc.top, img.height - sc.bottom, img.height};
  const int dxs[4] = {dst.left, dst.left + dc.left, dst.right - dc.right, dst.right};
  const int dys[4] = {dst.top, dst.top + dc.top, dst.bottom - dc.bottom, dst.bottom};
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
      DrawImage(img, Rect{sxs[i], sys[j], sxs[i + 1], sys[j + 1]}, Rect{dxs[i], dys[j], dxs[i + 1], dys[j + 1]},
                alpha);
}

void Canvas::DrawRotated(const Image& img, const Rect& dst, int degrees, int alpha) {
  if (dst.Empty() || img.pixels.empty()) return;
  Rect c = dst.Intersect(clip_);
  const double rad = -degrees * 3.14159265358979 / 180.0;
  const double cs = std::cos(rad), sn = std::sin(rad);
  const double cx = (dst.left + dst.right) / 2.0, cy = (dst.top + dst.bottom) / 2.0;
  const double kx = static_cast<double>(img.width) / dst.Width(), ky = static_cast<double>(img.height) / dst.Height();
  const Rect all{0, 0, img.width, img.height};
  for (int y = c.top; y < c.bottom; ++y) {
    for (int x = c.left; x < c.right; ++x) {
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      double rx = dx * cs - dy * sn, ry = dx * sn + dy * cs;
      double u = (rx + dst.Width() / 2.0) * kx, v = (ry + dst.Height() / 2.0) * ky;
      if (u < 0 || v < 0 || u >= img.width || v >= img.height) continue;
      Blend(x, y, FadePremultiplied(Sample(img, all, u, v), alpha));
    }
  }
}

void Canvas::BlendCoverage(const uint8_t* cov, int covStride, const Rect& dst, uint32_t argb) {
  Rect c = dst.Intersect(clip_);
  for (int y = c.top; y < c.bottom; ++y) {
    const uint8_t* row = cov + static_cast<size_t>(y - dst.top) * covStride;
    for (int x = c.left; x < c.right; ++x) {
      uint8_t a = row[x - dst.left];
      if (a) Blend(x, y, Premultiply(argb, a));
    }
  }
}

}  // namespace skinui
