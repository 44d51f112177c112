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

std::vector<std::pair<std::wstring, int>> ImageCandidates(const std::wstring& name, int scale) {
  std::vector<std::pair<std::wstring, int>> out;
  size_t dot = name.rfind(L'.');
  std::wstring stem = dot == std::wstring::npos ? name : name.substr(0, dot);
  std::wstring ext = dot == std::wstring::npos ? L"" : name.substr(dot);
  const bool vector = EndsWithNoCase(name, L".svg");
  auto variant = [&](int s) -> std::pair<std::wstring, int> {
    if (vector) return {stem + L"@" + std::to_wstring(s) + L".png", s};
    if (s == 100) return {name, 100};
    return {stem + L"@" + std::to_wstring(s) + ext, s};
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
    loaded = std::move(li);
    break;
  }
  const LoadedImage* result = loaded.get();
  cache_[key] = std::move(loaded);  // a miss is remembered too
  return result;
}

}  // namespace skinui
