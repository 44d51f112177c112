#include "ui/kv_window_base.h"

#include <map>
#include <vector>

#include "base/text_convert.h"
#include "toolkit/markup.h"

std::wstring LanguageFontFace(const std::wstring& code) {
  static const std::map<std::wstring, std::wstring> faces = {
      {L"ja", L"Yu Gothic UI"},      {L"zh-tw", L"Microsoft YaHei"}, {L"zh_cn", L"Microsoft YaHei"},
      {L"ko", L"Malgun Gothic"},     {L"th", L"Tahoma"},
  };
  auto it = faces.find(code);
  return it == faces.end() ? std::wstring() : it->second;
}

bool ApplyLanguageFonts(skinui::PaintManager& pm, const std::string& skinXml, const std::wstring& code) {
  std::vector<skinui::FontElement> fonts;
  if (!skinui::ReadFontElements(skinXml, fonts)) return false;
  const std::wstring face = LanguageFontFace(code);
  for (const auto& f : fonts) {
    if (f.id < 0) continue;
    skinui::FontDesc d = f.desc;
    if (const skinui::FontDesc* now = pm.GetFont(f.id)) {
      d.size = now->size;
      d.bold = now->bold;
      d.underline = now->underline;
      d.italic = now->italic;
    }
    if (!face.empty()) d.face = face;
    d.shared = f.desc.shared;
    pm.AddFont(f.id, d);
    if (f.isDefault) pm.SetDefaultFont(d);
  }
  return true;
}

SavedShadow ShadowForScale(const SavedShadow& saved, int scale) {
  SavedShadow s;
  s.size = skinui::ScaleLength(saved.size, scale);
  s.corner = skinui::ScaleRect(saved.corner, scale);
  s.image = saved.image;
  if (scale != 100) {
    std::wstring out;
    const std::wstring tag = L"@" + DecimalWide(scale) + L".";
    for (wchar_t c : saved.image) {
      if (c == L'.') out += tag;
      else out += c;
    }
    s.image = out;
  }
  return s;
}

SizeLimits ComputeSizeLimits(skinui::Rect work, bool primary, int dpi, int currentScale, skinui::Size minInfo,
                             skinui::Size maxInfo) {
  if (!primary) work = work.Offset(-work.left, -work.top);
  if (dpi <= 0) dpi = 96;
  if (dpi > 192) dpi = 192;
  if (currentScale <= 0) currentScale = 100;
  const int target = skinui::ScaleForDpi(dpi);
  // The markup's sizes are at 100 %: converting them from the window's
  // current scale to the target DPI is scaling them to the target once
  // (going through the current scale would round twice).
  auto convert = [&](int v) { return skinui::ScaleLength(v, target); };
  SizeLimits l;
  l.maxPosition = skinui::Point{work.left, work.top};
  l.maxSize = skinui::Size{work.Width(), work.Height()};
  l.maxTrack = skinui::Size{maxInfo.cx ? convert(maxInfo.cx) : work.Width(),
                            maxInfo.cy ? convert(maxInfo.cy) : work.Height()};
  l.minTrack = skinui::Size{convert(minInfo.cx), convert(minInfo.cy)};
  return l;
}
