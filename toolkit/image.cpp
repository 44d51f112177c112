#include "toolkit/image.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

#include <algorithm>
#include <cwctype>

#include "base/text_convert.h"
#include "toolkit/zip_archive.h"

namespace skinui {

namespace {
const int kSteps[] = {100, 125, 150, 175, 200};

bool EndsWithNoCase(const std::wstring& s, const std::wstring& suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (static_cast<wchar_t>(towlower(s[s.size() - suffix.size() + i])) != suffix[i]) return false;
  return true;
}
}  // namespace

bool DecodeImage(const std::string& bytes, Image& out) {
  if (bytes.empty() || bytes.size() > 0x7fffffff) return false;
  int w = 0, h = 0, n = 0;
  unsigned char* p = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           static_cast<int>(bytes.size()), &w, &h, &n, 4);
  if (!p) return false;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const unsigned char* s = p + i * 4;
    uint32_t a = s[3];
    uint32_t r = (s[0] * a + 127) / 255, g = (s[1] * a + 127) / 255, b = (s[2] * a + 127) / 255;
    out.pixels[i] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  stbi_image_free(p);
  return true;
}

namespace {
// For each target pixel along one axis: the first source pixel it covers and
// each covered source pixel's share of the target pixel (the shares add up
// to 1).
struct AreaTaps {
  std::vector<int> first;
  std::vector<int> count;
  std::vector<float> weight;  // count[i] entries per target pixel, in order
};

// `size` source pixels at `from` onto ceil(size * to / from) target pixels.
AreaTaps MakeTaps(int size, int from, int to) {
  AreaTaps t;
  const double k = static_cast<double>(from) / to;  // source pixels per target pixel
  const int out = static_cast<int>((static_cast<int64_t>(size) * to + from - 1) / from);
  for (int i = 0; i < out; ++i) {
    const double a = i * k, b = std::min<double>((i + 1) * k, size);
    int j = static_cast<int>(a);
    t.first.push_back(j);
    int n = 0;
    for (; j < size && j < b; ++j, ++n) {
      const double cover = std::min<double>(j + 1, b) - std::max<double>(j, a);
      t.weight.push_back(static_cast<float>(cover / k));
    }
    t.count.push_back(n);
  }
  return t;
}
}  // namespace

namespace {
// Exactly half the size (200 % to 100 %, the first frame at the most common
// scale): each pixel the rounded mean of a 2x2 block, in integers.
Image Halve(const Image& src) {
  Image out;
  out.width = src.width / 2;
  out.height = src.height / 2;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    const uint32_t* r0 = &src.pixels[static_cast<size_t>(2 * y) * src.width];
    const uint32_t* r1 = r0 + src.width;
    uint32_t* o = &out.pixels[static_cast<size_t>(y) * out.width];
    for (int x = 0; x < out.width; ++x) {
      const uint32_t a = r0[2 * x], b = r0[2 * x + 1], c = r1[2 * x], d = r1[2 * x + 1];
      // Two channels at a time, each in its own 16 bits.
      const uint32_t lo = (a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF) + 0x20002;
      const uint32_t hi = ((a >> 8) & 0xFF00FF) + ((b >> 8) & 0xFF00FF) + ((c >> 8) & 0xFF00FF) +
                          ((d >> 8) & 0xFF00FF) + 0x20002;
      o[x] = ((lo >> 2) & 0xFF00FF) | (((hi >> 2) & 0xFF00FF) << 8);
    }
  }
  return out;
}
}  // namespace

Image ShrinkToScale(const Image& src, int from, int to) {
  if (to <= 0 || to >= from || src.width <= 0 || src.height <= 0) return src;
  if (from == 2 * to && src.width % 2 == 0 && src.height % 2 == 0) return Halve(src);
  const AreaTaps hx = MakeTaps(src.width, from, to), vy = MakeTaps(src.height, from, to);
  const int width = static_cast<int>(hx.first.size()), height = static_cast<int>(vy.first.size());
  // Rows first into floats (premultiplied channels), then columns.
  std::vector<float> rows(static_cast<size_t>(width) * src.height * 4);
  for (int y = 0; y < src.height; ++y) {
    size_t w = 0;
    for (int x = 0; x < width; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (int n = 0; n < hx.count[x]; ++n, ++w) {
        const uint32_t p = src.At(hx.first[x] + n, y);
        for (int c = 0; c < 4; ++c) acc[c] += hx.weight[w] * static_cast<float>((p >> (c * 8)) & 0xFF);
      }
      std::copy(acc, acc + 4, &rows[(static_cast<size_t>(y) * width + x) * 4]);
    }
  }
  Image out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width) * height);
  size_t w = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (int n = 0; n < vy.count[y]; ++n) {
        const float* p = &rows[(static_cast<size_t>(vy.first[y] + n) * width + x) * 4];
        for (int c = 0; c < 4; ++c) acc[c] += vy.weight[w + n] * p[c];
      }
      uint32_t p = 0;
      for (int c = 0; c < 4; ++c)
        p |= static_cast<uint32_t>(std::min(255.0f, acc[c] + 0.5f)) << (c * 8);
      // Rounding may leave a colour channel a step above its alpha.
      const uint32_t a = p >> 24;
      for (int c = 0; c < 3; ++c)
        if (((p >> (c * 8)) & 0xFF) > a) p = (p & ~(0xFFu << (c * 8))) | (a << (c * 8));
      out.pixels[static_cast<size_t>(y) * width + x] = p;
    }
    w += vy.count[y];
  }
  return out;
}

std::vector<std::pair<std::wstring, int>> ImageCandidates(const std::wstring& name, int scale) {
  std::vector<std::pair<std::wstring, int>> out;
  size_t dot = name.rfind(L'.');
  std::wstring stem = dot == std::wstring::npos ? name : name.substr(0, dot);
  std::wstring ext = dot == std::wstring::npos ? L"" : name.substr(dot);
  const bool vector = EndsWithNoCase(name, L".svg");
  auto variant = [&](int s) -> std::pair<std::wstring, int> {
    if (vector) return {stem + L"@" + DecimalWide(s) + L".png", s};
    if (s == 100) return {name, 100};
    return {stem + L"@" + DecimalWide(s) + ext, s};
  };
  std::vector<int> order;
  if (std::find(std::begin(kSteps), std::end(kSteps), scale) == std::end(kSteps) && scale > 0) order.push_back(scale);
  for (int s : kSteps)
    if (s >= scale) order.push_back(s);
  for (int i = 4; i >= 0; --i)
    if (kSteps[i] < scale) order.push_back(kSteps[i]);
  for (int s : order) out.push_back(variant(s));
  return out;
}

namespace {
// "x@150.png" -> "x.png" and 150; false for a name without a scale tag.
bool SplitScaleTag(const std::wstring& name, std::wstring& base, int& scale) {
  const size_t at = name.rfind(L'@'), dot = name.rfind(L'.');
  if (at == std::wstring::npos || dot == std::wstring::npos || dot < at + 2 || dot > at + 4) return false;
  int s = 0;
  for (size_t i = at + 1; i < dot; ++i) {
    if (name[i] < L'0' || name[i] > L'9') return false;
    s = s * 10 + (name[i] - L'0');
  }
  if (s < 100) return false;
  base = name.substr(0, at) + name.substr(dot);
  scale = s;
  return true;
}
}  // namespace

const LoadedImage* ImageCache::Get(const std::wstring& name, int scale) {
  auto key = std::make_pair(name, scale);
  auto it = cache_.find(key);
  if (it != cache_.end()) return it->second.get();
  std::unique_ptr<LoadedImage> loaded;
  for (const auto& cand : ImageCandidates(name, scale)) {
    std::string bytes;
    if (!ReadSkinFile(WideToUtf8(cand.first), bytes)) continue;
    auto li = std::make_unique<LoadedImage>();
    if (!DecodeImage(bytes, li->image)) continue;
    li->madeForScale = cand.second;
    li->file = cand.first;
    if (cand.second > scale && scale > 0) {
      li->image = ShrinkToScale(li->image, cand.second, scale);
      li->madeForScale = scale;
    }
    loaded = std::move(li);
    break;
  }
  std::wstring base;
  int tagged = 0;
  if (!loaded && SplitScaleTag(name, base, tagged)) {
    if (const LoadedImage* li = Get(base, tagged)) {
      // Its pixels are those of the named variant, whose scale counts as 100.
      loaded = std::make_unique<LoadedImage>(*li);
      loaded->madeForScale = 100;
    }
  }
  const LoadedImage* result = loaded.get();
  cache_[key] = std::move(loaded);  // a miss is remembered too
  return result;
}

}  // namespace skinui
