// The built skin package: every file the installer expects, every image the
// window markup names (at each scale), the DPI variants' sizes, and the
// main window drawn from it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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
  // Each image once, rasterized at 200 %; the toolkit makes the smaller
  // scales from it.
  const char* files[] = {
      "InstallMainWnd.xml", "bg@200.png", "blue_hover@200.png", "blue_normal@200.png",
      "browse_btn_hover@200.png", "browse_btn_normal@200.png", "check_disable@200.png", "check_sel@200.png",
      "close_hover@200.png", "dropdown_bg@200.png", "edit_bg@200.png", "install_drop_down_hover@200.png",
      "install_drop_down_hover_reverse@200.png", "install_drop_down_normal@200.png",
      "install_drop_down_normal_reverse@200.png", "install_drop_down_select@200.png",
      "install_drop_down_select_hover@200.png", "install_drop_down_select_reverse@200.png",
      "language_combo_arrow@200.png", "logo@200.png", "progress_normal@200.png", "progressing@200.png",
      "red_warning@200.png", "refresh_img@200.png", "ring_loading@200.png", "success_mark@200.png",
      "uncheck_normal@200.png", "uncheck_normal1@200.png", "window_shadow@200.png",
      "scrollbar\\scrollbar_rail@200.png", "scrollbar\\scrollbar_rail2@200.png",
      "scrollbar\\scrollbar_rail_hover@200.png", "scrollbar\\scrollbar_rail_hover2@200.png",
      "scrollbar\\scrollbar_rail_hover_small@200.png", "scrollbar\\scrollbar_rail_small@200.png",
  };
  for (const char* f : files) EXPECT_TRUE(Has(f)) << f;
  for (const char* missing : {"check_hover@200.png", "uncheck_disable@200.png", "close_hot_24.png"})
    EXPECT_FALSE(Has(missing)) << missing << " is meant to be absent";
  // Drawing sources and the smaller rasters stay out.
  for (const char* out : {"bitmaps/bg.svg", "logo.svg", "bg.png", "bg@150.png", "logo@100.png"})
    EXPECT_FALSE(Has(out)) << out;
}

TEST_F(SkinPackage, BitmapsLoadInProportionAtEveryScale) {
  struct Case {
    const char* name;
    int w, h;
  } cases[] = {{"bg.png", 550, 365}, {"progressing.png", 311, 6}, {"window_shadow.png", 164, 164}};
  for (const auto& c : cases) {
    skinui::ImageCache cache;
    for (int scale : {100, 125, 150, 175, 200}) {
      const skinui::LoadedImage* li = cache.Get(Utf8ToWide(c.name), scale);
      ASSERT_NE(li, nullptr) << c.name << " at " << scale;
      EXPECT_NEAR(li->image.width, c.w * scale / 100.0, 1.0) << c.name << " at " << scale;
      EXPECT_NEAR(li->image.height, c.h * scale / 100.0, 1.0) << c.name << " at " << scale;
    }
  }
}

// Peak signal-to-noise ratio over the premultiplied channels, in dB; -1 when
// the sizes differ.
double Psnr(const skinui::Image& a, const skinui::Image& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    for (int c = 0; c < 32; c += 8) {
      const double d = static_cast<double>((a.pixels[i] >> c) & 0xFF) - ((b.pixels[i] >> c) & 0xFF);
      sum += d * d;
    }
  const double mse = sum / (a.pixels.size() * 4.0);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(SkinPackage, ShrunkImagesLookLikeTheRasterizersOwnAtEachScale) {
  // Every drawing rasterized at 100..175 % (outside the package) against the
  // package's 200 % raster as the window loads it at that scale. The large
  // soft bitmaps measure above 52 dB, where nothing can be seen; the small
  // icons' sharp edges differ by a fraction of a pixel's coverage (33..60
  // dB; side by side at six times the size they cannot be told apart).
  // Sampling the nearest source pixel instead measures 17..24 dB on icons
  // and 34 dB on the background.
  const std::string dir = QV_SKIN_REFERENCE_DIR;
  const char* names[] = {"bg.png", "window_shadow.png", "progressing.png", "ring_loading.png", "logo.svg",
                         "blue_normal.svg", "check_sel.svg", "uncheck_normal.svg", "success_mark.svg",
                         "close_hover.svg", "install_drop_down_select.svg", "edit_bg.svg",
                         "scrollbar\\scrollbar_rail.svg"};
  for (const char* n : names) {
    std::string stem = n;
    stem = stem.substr(0, stem.rfind('.'));
    for (char& ch : stem)
      if (ch == '\\') ch = '/';
    skinui::ImageCache cache;
    for (int scale : {100, 125, 150, 175}) {
      std::ifstream f(dir + "/" + stem + "@" + std::to_string(scale) + ".png", std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      skinui::Image want;
      ASSERT_TRUE(skinui::DecodeImage(bytes, want)) << stem << "@" << scale;
      const skinui::LoadedImage* got = cache.Get(Utf8ToWide(n), scale);
      ASSERT_NE(got, nullptr) << n;
      const double psnr = Psnr(got->image, want);
      const bool large = stem == "bg" || stem == "window_shadow";
      EXPECT_GE(psnr, large ? 45.0 : 30.0) << n << " at " << scale << " (" << got->image.width << "x" << got->image.height
                            << " against " << want.width << "x" << want.height << ")";
      std::printf("%s at %d%%: %.1f dB\n", n, scale, psnr);
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
