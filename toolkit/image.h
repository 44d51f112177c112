// Decoded images and the choice of a DPI variant inside the skin package.
//
// Naming: a bitmap "x.png" has variants "x@125.png" ... "x@200.png" (the
// percentage before the extension). A vector image "x.svg" is rasterized at
// build time into "x@100.png", "x@125.png" ... "x@200.png"; the SVG itself
// stays in the package as the source.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace skinui {

// Premultiplied BGRA pixels (0xAARRGGBB as 32-bit values), row by row.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// PNG (or anything stb_image reads); false on malformed input.
bool DecodeImage(const std::string& bytes, Image& out);

// `src`, made for scale `from`, shrunk to scale `to` (to <= from): every
// pixel the average of the source area it covers, partly covered source
// pixels by their share. Like the rasterizer, the result is ceil(size * to /
// from) pixels and the source is scaled by exactly to / from, so a last
// column or row the source only partly reaches is partly transparent. The
// skin ships its rasters at the largest scale and this makes the smaller ones.
Image ShrinkToScale(const Image& src, int from, int to);

// Package files to try for `name` at `scale`, best first, each with the
// scale its pixels were made for: the exact variant, the nearest larger
// ones, then smaller ones.
std::vector<std::pair<std::wstring, int>> ImageCandidates(const std::wstring& name, int scale);

// An image as loaded for one scale.
struct LoadedImage {
  Image image;
  int madeForScale = 100;  // how many pixels per 100 logical pixels
  std::wstring file;
};

// Loads images from the skin package through ImageCandidates and keeps them
// until Clear(). A variant made for a larger scale is shrunk to the scale
// asked for (ShrinkToScale), so the image comes back made for that scale
// whenever a larger one exists. A name that carries its scale ("x@150.png")
// and is not in the package is made from the package's "x.png" at that scale.
// Not thread-safe (the window's thread uses it).
class ImageCache {
 public:
  // Null when no candidate can be read and decoded.
  const LoadedImage* Get(const std::wstring& name, int scale);
  void Clear() { cache_.clear(); }

 private:
  std::map<std::pair<std::wstring, int>, std::unique_ptr<LoadedImage>> cache_;
};

}  // namespace skinui
