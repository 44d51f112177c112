// Renders a manager's control tree into a Canvas: the PaintContext that the
// controls draw through, with images from an ImageCache and text from a
// TextRenderer (GDI in the window; a stand-in in tests).
#pragma once
#include <string>
#include <vector>

#include "toolkit/canvas.h"
#include "toolkit/image.h"
#include "toolkit/paint_context.h"
#include "toolkit/paint_manager.h"

namespace skinui {

class TextRenderer {
 public:
  virtual ~TextRenderer() = default;
  virtual Size Measure(const std::wstring& text, const FontDesc& font, int scale) = 0;
  virtual void Draw(Canvas& canvas, const std::wstring& text, const Rect& r, const FontDesc& font, int scale,
                    uint32_t argb, unsigned style) = 0;
};

// The manager's measurer over a TextRenderer (font ids resolved by the manager).
class RendererMeasurer : public TextMeasurer {
 public:
  RendererMeasurer(const PaintManager& pm, TextRenderer& tr) : pm_(pm), tr_(tr) {}
  Size Measure(const std::wstring& text, int fontId, int scale) override {
    return tr_.Measure(text, pm_.ResolveFont(fontId), scale);
  }

 private:
  const PaintManager& pm_;
  TextRenderer& tr_;
};

class Painter : public PaintContext {
 public:
  Painter(Canvas& canvas, ImageCache& images, const PaintManager& pm, TextRenderer* text)
      : canvas_(canvas), images_(images), pm_(pm), text_(text) {}

  int Scale() const override { return pm_.GetScale(); }
  bool IsRtl() const override { return pm_.IsLayoutRtl(); }
  void FillRect(const Rect& r, uint32_t argb) override { canvas_.FillRect(r, argb); }
  bool DrawImage(const ImageRef& image, const Rect& controlRect) override;
  bool DrawImageRotated(const ImageRef& image, const Rect& r, int degrees) override;
  void DrawText(const std::wstring& text, const Rect& r, int fontId, uint32_t argb, unsigned style) override;
  Rect ClipTo(const Rect& r) override;
  void RestoreClip(const Rect& previous) override { canvas_.SetClip(previous); }

  // Where `image` lands for a control at `controlRect`.
  Rect ImageDest(const ImageRef& image, const Rect& controlRect) const;

 private:
  Canvas& canvas_;
  ImageCache& images_;
  const PaintManager& pm_;
  TextRenderer* text_;
};

// Clears the canvas and paints the whole tree (laid out first if needed).
void RenderTree(Canvas& canvas, ImageCache& images, PaintManager& pm, TextRenderer* text);

// Draws the window shadow image nine-sliced over the whole canvas.
bool RenderShadow(Canvas& canvas, ImageCache& images, const ShadowSettings& shadow);

}  // namespace skinui
