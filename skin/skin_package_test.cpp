// The built skin package: every file the installer expects, every image the
// window markup names (at each scale), the DPI variants' sizes, and the
// main window drawn from it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "base/text_convert.h"
#include "testing/fixtures/toolkit_fixtures.h"
#include "toolkit/canvas.h"
#include "toolkit/image.h"
#include "toolkit/painter.h"
#include "toolkit/zip_archive.h"

namespace {

class SkinPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream f(QV_SKIN_ZIP_FILE, std::ios::binary);
    zip_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    ASSERT_FALSE(zip_.empty());
    SetSkinArchive(zip_.data(), zip_.size());
  }
  static bool Has(const std::string& name) {
    std::string bytes;
    return ReadSkinFile(name, bytes);
  }
  static std::string zip_;
};
std::string SkinPackage::zip_;

TEST_F(SkinPackage, HoldsEveryExpectedFile) {
  const char* files[] = {
      "InstallMainWnd.xml", "bg.png", "blue_hover.svg", "blue_normal.svg", "browse_btn_hover.svg",
      "browse_btn_normal.svg", "check_disable.svg", "check_sel.svg", "close_hover.svg", "dropdown_bg.svg",
      "edit_bg.svg", "install_drop_down_hover.svg", "install_drop_down_hover_reverse.svg",
      "install_drop_down_normal.svg", "install_drop_down_normal_reverse.svg", "install_drop_down_select.svg",
      "install_drop_down_select_hover.svg", "install_drop_down_select_reverse.svg", "language_combo_arrow.svg",
      "logo.svg", "progress_normal.svg", "progressing.png", "red_warning.svg", "refresh_img.svg",
      "ring_loading.png", "success_mark.svg", "uncheck_normal.svg", "uncheck_normal1.svg", "window_shadow.png",
      "scrollbar\\scrollbar_rail.svg", "scrollbar\\scrollbar_rail2.svg", "scrollbar\\scrollbar_rail_hover.svg",
      "scrollbar\\scrollbar_rail_hover2.svg", "scrollbar\\scrollbar_rail_hover_small.svg",
      "scrollbar\\scrollbar_rail_small.svg",
  };
  for (const char* f : files) EXPECT_TRUE(Has(f)) << f;
  for (const char* missing : {"check_hover.svg", "uncheck_disable.svg", "close_hot_24.png"})
    EXPECT_FALSE(Has(missing)) << missing << " is meant to be absent";
  EXPECT_FALSE(Has("bitmaps/bg.svg"));  // drawing sources stay out
}

TEST_F(SkinPackage, BitmapVariantsAreScaledInProportion) {
  struct Case {
    const char* base;
    int w, h;
  } cases[] = {{"bg", 550, 365}, {"progressing", 311, 6}, {"window_shadow", 164, 164}};
  for (const auto& c : cases) {
    for (int scale : {100, 125, 150, 175, 200}) {
      std::string name = std::string(c.base) + (scale == 100 ? "" : "@" + std::to_string(scale)) + ".png";
      std::string bytes;
      ASSERT_TRUE(ReadSkinFile(name, bytes)) << name;
      skinui::Image img;
      ASSERT_TRUE(skinui::DecodeImage(bytes, img)) << name;
      EXPECT_NEAR(img.width, c.w * scale / 100.0, 1.0) << name;
      EXPECT_NEAR(img.height, c.h * scale / 100.0, 1.0) << name;
    }
  }
}

TEST_F(SkinPackage, EveryImageTheMarkupNamesLoadsAtEveryScale) {
  std::string xml;
  ASSERT_TRUE(ReadSkinFile("InstallMainWnd.xml", xml));
  std::set<std::string> names;
  // Every file name ending in ".svg" or ".png": a run of letters, digits,
  // "_" and backslashes before the extension.
  auto nameChar = [](char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '\\';
  };
  for (size_t i = 0; i < xml.size();) {
    size_t end = i;
    while (end < xml.size() && nameChar(xml[end])) ++end;
    if (end > i && (xml.compare(end, 4, ".svg") == 0 || xml.compare(end, 4, ".png") == 0)) {
      names.insert(xml.substr(i, end + 4 - i));
      i = end + 4;
    } else {
      i = end + 1;
    }
  }
  ASSERT_GT(names.size(), 15u);
  const std::set<std::string> absent = {"check_hover.svg", "uncheck_disable.svg", "close_hot_24.png"};
  for (int scale : {100, 125, 150, 175, 200}) {
    skinui::ImageCache cache;
    for (const auto& n : names) {
      const skinui::LoadedImage* li = cache.Get(Utf8ToWide(n), scale);
      if (absent.count(n)) {
        EXPECT_EQ(li, nullptr) << n;
        continue;
      }
      ASSERT_NE(li, nullptr) << n << " at " << scale;
      EXPECT_EQ(li->madeForScale, scale) << n << ": a raster made for its scale";
    }
  }
}

TEST_F(SkinPackage, MainWindowDrawsWithShadow) {
  std::string xml;
  ASSERT_TRUE(ReadSkinFile("InstallMainWnd.xml", xml));
  for (int scale : {100, 150, 200}) {
    skinui::PaintManager pm;
    skinui::FixedTextRenderer text;
    skinui::RendererMeasurer measurer(pm, text);
    pm.SetTextMeasurer(&measurer);
    ASSERT_TRUE(pm.LoadMarkup(xml));
    pm.SetScale(scale);
    skinui::Size s = pm.Scale(pm.GetInitSize());
    skinui::Bitmap bmp(s.cx, s.cy);
    skinui::Canvas canvas = bmp.MakeCanvas();
    skinui::ImageCache images;
    skinui::RenderTree(canvas, images, pm, &text);
    EXPECT_EQ(canvas.Pixel(0, 0) >> 24, 0u) << "rounded corner clear at " << scale;
    EXPECT_EQ(canvas.Pixel(20, s.cy / 2) >> 24, 0xFFu) << "background at " << scale;
    // The primary button is drawn: bright blue at its middle.
    skinui::Rect b = pm.FindControl(L"install")->GetPos();
    uint32_t mid = canvas.Pixel(b.left + 8, (b.top + b.bottom) / 2);
    EXPECT_GT(mid & 0xFF, 0xC0u) << "button at " << scale;
    EXPECT_GT(text.draws, 5) << "texts drawn at " << scale;

    // The shadow around it, nine-sliced from the scale's variant.
    skinui::ShadowSettings sh = pm.Shadow();
    sh.size = skinui::ScaleLength(38, scale);
    sh.corner = skinui::ScaleRect(sh.corner, scale);
    if (scale != 100) sh.image = L"window_shadow@" + std::to_wstring(scale) + L".png";
    skinui::Bitmap shadow(s.cx + 2 * sh.size, s.cy + 2 * sh.size);
    skinui::Canvas sc = shadow.MakeCanvas();
    ASSERT_TRUE(skinui::RenderShadow(sc, images, sh));
    uint32_t a = sc.Pixel(sc.Width() / 2, sc.Height() - sh.size + sh.size / 4) >> 24;
    EXPECT_GT(a, 3u) << scale;
    EXPECT_LT(a, 255u) << scale;
    EXPECT_EQ(sc.Pixel(0, 0) >> 24, 0u) << "shadow fades out at " << scale;
  }
}

TEST_F(SkinPackage, PrimaryButtonStatesLookDifferent) {
  std::string xml;
  ASSERT_TRUE(ReadSkinFile("InstallMainWnd.xml", xml));
  auto render = [&](const char* state) {
    skinui::PaintManager pm;
    skinui::FixedTextRenderer text;
    skinui::RendererMeasurer measurer(pm, text);
    pm.SetTextMeasurer(&measurer);
    EXPECT_TRUE(pm.LoadMarkup(xml));
    pm.Layout(pm.GetInitSize());
    skinui::Control* b = pm.FindControl(L"install");
    skinui::Rect r = b->GetPos();
    skinui::Point mid{r.left + 10, (r.top + r.bottom) / 2};
    if (std::string(state) == "hot") pm.MouseMove(mid);
    if (std::string(state) == "pushed") pm.MouseDown(mid);
    if (std::string(state) == "disabled") b->SetEnabled(false);
    skinui::Bitmap bmp(pm.GetInitSize().cx, pm.GetInitSize().cy);
    skinui::Canvas canvas = bmp.MakeCanvas();
    skinui::ImageCache images;
    skinui::RenderTree(canvas, images, pm, &text);
    return canvas.Pixel(mid.x, mid.y);
  };
  // Signed, so a darker state gives a negative difference rather than a wrapped huge one.
  auto luminance = [](uint32_t p) -> int {
    return int((p >> 16) & 0xFF) * 30 + int((p >> 8) & 0xFF) * 59 + int(p & 0xFF) * 11;
  };
  const uint32_t normal = render("normal");
  struct Case {
    const char* state;
    int sign;  // brighter (+1) or darker (-1) than normal
  } cases[] = {{"hot", +1}, {"pushed", -1}, {"disabled", -1}};
  for (const auto& c : cases) {
    const uint32_t p = render(c.state);
    EXPECT_GT((luminance(p) - luminance(normal)) * c.sign, 100 * 8) << c.state;
  }
}

}  // namespace
