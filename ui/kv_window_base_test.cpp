#include "ui/kv_window_base.h"

#include <gtest/gtest.h>

namespace {

using skinui::Rect;
using skinui::Size;

TEST(KvWindowBase, ShadowAtEachScale) {
  const SavedShadow saved{38, Rect{54, 54, 54, 54}, L"window_shadow.png"};
  struct Case {
    int scale;
    int size;
    int corner;
    const wchar_t* image;
  } cases[] = {
      {100, 38, 54, L"window_shadow.png"},
      {125, 48, 68, L"window_shadow@125.png"},
      {150, 57, 81, L"window_shadow@150.png"},
      {200, 76, 108, L"window_shadow@200.png"},
  };
  for (const auto& c : cases) {
    SavedShadow s = ShadowForScale(saved, c.scale);
    EXPECT_EQ(s.size, c.size) << c.scale;
    EXPECT_EQ(s.corner, (Rect{c.corner, c.corner, c.corner, c.corner})) << c.scale;
    EXPECT_EQ(s.image, c.image) << c.scale;
  }
  // Every "." is replaced, not only the extension's.
  EXPECT_EQ(ShadowForScale(SavedShadow{1, {}, L"a.b.png"}, 150).image, L"a@150.b@150.png");
}

TEST(KvWindowBase, DpiToScale) {
  const int cases[][2] = {{96, 100}, {120, 125}, {144, 150}, {168, 175}, {192, 200}, {240, 200}, {0, 100}};
  for (const auto& c : cases) EXPECT_EQ(skinui::ScaleForDpi(c[0]), c[1]) << c[0];
}

TEST(KvWindowBase, LanguageFontFaces) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"ja", L"Yu Gothic UI"}, {L"zh-tw", L"Microsoft YaHei"}, {L"zh_cn", L"Microsoft YaHei"},
      {L"ko", L"Malgun Gothic"}, {L"th", L"Tahoma"},           {L"en", L""},
      {L"arabic", L""},          {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageFontFace(c.first), c.second) << c.first;
}

const char kSkin[] = R"(<Window size="100,100">
  <Font id="0" name="Arial" size="13"/>
  <Font id="9" name="Arial" size="12" shared="true" default="true"/>
  <Font id="212" name="Arial" size="12" underline="true"/>
  <VerticalLayout/>
</Window>)";

TEST(KvWindowBase, LanguageFontsReplaceFacesKeepSizes) {
  skinui::PaintManager pm;
  ASSERT_TRUE(pm.LoadMarkup(kSkin));
  // The program changed a font since the skin was read: its size stays.
  skinui::FontDesc bigger = *pm.GetFont(0);
  bigger.size = 15;
  pm.AddFont(0, bigger);
  ASSERT_TRUE(ApplyLanguageFonts(pm, kSkin, L"ja"));
  EXPECT_EQ(pm.GetFont(0)->face, L"Yu Gothic UI");
  EXPECT_EQ(pm.GetFont(0)->size, 15);
  EXPECT_TRUE(pm.GetFont(212)->underline);
  EXPECT_TRUE(pm.GetFont(9)->shared);
  EXPECT_FALSE(pm.GetFont(0)->shared);
  EXPECT_EQ(pm.GetDefaultFont().face, L"Yu Gothic UI");
  // Back to a language without its own face: the skin's names return.
  ASSERT_TRUE(ApplyLanguageFonts(pm, kSkin, L"de"));
  EXPECT_EQ(pm.GetFont(0)->face, L"Arial");
  EXPECT_EQ(pm.GetDefaultFont().face, L"Arial");
  // Unreadable markup leaves the fonts alone.
  ASSERT_TRUE(ApplyLanguageFonts(pm, kSkin, L"ko"));
  EXPECT_FALSE(ApplyLanguageFonts(pm, "<Window><Font", L"th"));
  EXPECT_EQ(pm.GetFont(0)->face, L"Malgun Gothic");
}

TEST(KvWindowBase, SizeLimits) {
  struct Case {
    const char* what;
    Rect work;
    bool primary;
    int dpi, scale;
    Size minInfo, maxInfo;
    SizeLimits expected;
  } cases[] = {
      {"primary at 100 %", {0, 0, 1280, 760}, true, 96, 100, {550, 365}, {0, 0},
       {{0, 0}, {1280, 760}, {550, 365}, {1280, 760}}},
      {"window at 100 % asking for a 150 % monitor", {0, 0, 1920, 1040}, true, 144, 100, {550, 365}, {800, 0},
       {{0, 0}, {1920, 1040}, {825, 548}, {1200, 1040}}},
      {"secondary monitor starts at 0,0", {1920, 40, 3840, 1080}, false, 96, 100, {550, 365}, {0, 0},
       {{0, 0}, {1920, 1040}, {550, 365}, {1920, 1040}}},
      {"dpi above 192 counts as 192", {0, 0, 2560, 1400}, true, 288, 150, {550, 365}, {0, 0},
       {{0, 0}, {2560, 1400}, {1100, 730}, {2560, 1400}}},
  };
  for (const auto& c : cases) {
    SizeLimits l = ComputeSizeLimits(c.work, c.primary, c.dpi, c.scale, c.minInfo, c.maxInfo);
    EXPECT_EQ(l.maxPosition.x, c.expected.maxPosition.x) << c.what;
    EXPECT_EQ(l.maxPosition.y, c.expected.maxPosition.y) << c.what;
    EXPECT_EQ(l.maxSize, c.expected.maxSize) << c.what;
    EXPECT_EQ(l.minTrack, c.expected.minTrack) << c.what;
    EXPECT_EQ(l.maxTrack, c.expected.maxTrack) << c.what;
  }
}

}  // namespace
