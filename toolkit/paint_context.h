// What controls draw through. The window implements it over its pixel
// surface; tests implement it over a plain buffer.
#pragma once
#include <cstdint>
#include <string>

#include "toolkit/geometry.h"
#include "toolkit/image_ref.h"

namespace skinui {

class PaintContext {
 public:
  virtual ~PaintContext() = default;
  // Window scale in percent and the paint surface's direction.
  virtual int Scale() const = 0;
  virtual bool IsRtl() const = 0;

  virtual void FillRect(const Rect& r, uint32_t argb) = 0;
  // Draws `image` for a control at `controlRect`: its dest (scaled, and
  // mirrored for right to left) or the whole rectangle; nine-slice corners.
  // False when the image cannot be loaded (nothing is drawn then).
  virtual bool DrawImage(const ImageRef& image, const Rect& controlRect) = 0;
  virtual bool DrawImageRotated(const ImageRef& image, const Rect& r, int degrees) = 0;
  virtual void DrawText(const std::wstring& text, const Rect& r, int fontId, uint32_t argb, unsigned style) = 0;
  // Further drawing is limited to `r` (intersected with the current clip);
  // returns the previous clip for RestoreClip.
  virtual Rect ClipTo(const Rect& r) = 0;
  virtual void RestoreClip(const Rect& previous) = 0;
};

}  // namespace skinui
