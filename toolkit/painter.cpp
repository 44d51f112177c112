#include "toolkit/painter.h"

#include "toolkit/focus.h"

namespace skinui {

Rect Painter::ImageDest(const ImageRef& image, const Rect& cr) const {
  if (!image.hasDest) return cr;
  Rect d = ScaleRect(image.dest, pm_.GetScale());
  if (pm_.IsLayoutRtl()) d = Rect{cr.Width() - d.right, d.top, cr.Width() - d.left, d.bottom};
  return d.Offset(cr.left, cr.top);
}

bool Painter::DrawImage(const ImageRef& image, const Rect& controlRect) {
  const LoadedImage* li = images_.Get(image.file, pm_.GetScale());
  if (!li) return false;
  Rect dst = ImageDest(image, controlRect);
  const Image& img = li->image;
  if (image.corner.left || image.corner.top || image.corner.right || image.corner.bottom) {
    canvas_.DrawNineSlice(img, ScaleRect(image.corner, li->madeForScale), dst, ScaleRect(image.corner, pm_.GetScale()),
                          image.alpha);
  } else {
    canvas_.DrawImage(img, Rect{0, 0, img.width, img.height}, dst, image.alpha);
  }
  return true;
}

bool Painter::DrawImageRotated(const ImageRef& image, const Rect& r, int degrees) {
  const LoadedImage* li = images_.Get(image.file, pm_.GetScale());
  if (!li) return false;
  canvas_.DrawRotated(li->image, ImageDest(image, r), pm_.IsLayoutRtl() ? -degrees : degrees, image.alpha);
  return true;
}

void Painter::DrawText(const std::wstring& text, const Rect& r, int fontId, uint32_t argb, unsigned style) {
  if (text_ && !r.Empty()) text_->Draw(canvas_, text, r, pm_.ResolveFont(fontId), pm_.GetScale(), argb, style);
}

Rect Painter::ClipTo(const Rect& r) {
  Rect old = canvas_.Clip();
  canvas_.SetClip(old.Intersect(r));
  return old;
}

void RenderTree(Canvas& canvas, ImageCache& images, PaintManager& pm, TextRenderer* text) {
  if (pm.IsUpdateNeeded() || pm.GetClientSize().cx != canvas.Width() || pm.GetClientSize().cy != canvas.Height())
    pm.Layout(Size{canvas.Width(), canvas.Height()});
  canvas.SetClip(Rect{0, 0, canvas.Width(), canvas.Height()});
  canvas.Clear(0);
  if (!pm.GetRoot()) return;
  Painter p(canvas, images, pm, text);
  pm.GetRoot()->Paint(p);
  pm.ResolveFocus();
  Control* focus = pm.GetFocus();
  if (pm.IsFocusMarkShown() && focus && focus->IsVisibleInTree())
    DrawFocusMark(canvas, focus->GetPos(), std::max(1, pm.ScaleLen(1)), pm.GetFocusColor());
}

bool RenderShadow(Canvas& canvas, ImageCache& images, const ShadowSettings& shadow) {
  canvas.SetClip(Rect{0, 0, canvas.Width(), canvas.Height()});
  canvas.Clear(0);
  // The shadow's numbers are pixels of the named file as it is: the window
  // base names the DPI variant itself.
  const LoadedImage* li = images.Get(shadow.image, 100);
  if (!li) return false;
  canvas.DrawNineSlice(li->image, shadow.corner, Rect{0, 0, canvas.Width(), canvas.Height()}, shadow.corner);
  return true;
}

}  // namespace skinui
