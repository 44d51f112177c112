#include <gtest/gtest.h>

#include "testing/fixtures/toolkit_fixtures.h"
#include "toolkit/canvas.h"
#include "toolkit/image.h"

namespace skinui {
namespace {

struct CandidateCase {
  const wchar_t* name;
  int scale;
  std::vector<std::pair<std::wstring, int>> expectedFirst;
};

TEST(Image, VariantCandidates) {
  const CandidateCase cases[] = {
      {L"bg.png", 100, {{L"bg.png", 100}, {L"bg@125.png", 125}}},
      {L"bg.png", 150, {{L"bg@150.png", 150}, {L"bg@175.png", 175}, {L"bg@200.png", 200}, {L"bg@125.png", 125}}},
      {L"bg.png", 110, {{L"bg@110.png", 110}, {L"bg@125.png", 125}}},
      {L"bg.png", 250, {{L"bg@250.png", 250}, {L"bg@200.png", 200}}},
      {L"logo.svg", 100, {{L"logo@100.png", 100}, {L"logo@125.png", 125}}},
      {L"logo.svg", 160, {{L"logo@160.png", 160}, {L"logo@175.png", 175}, {L"logo@200.png", 200},
                           {L"logo@150.png", 150}}},
      {L"scrollbar\\rail.svg", 200, {{L"scrollbar\\rail@200.png", 200}, {L"scrollbar\\rail@175.png", 175}}},
  };
  for (const auto& c : cases) {
    auto got = ImageCandidates(c.name, c.scale);
    ASSERT_GE(got.size(), c.expectedFirst.size());
    for (size_t i = 0; i < c.expectedFirst.size(); ++i)
      EXPECT_EQ(got[i], c.expectedFirst[i]) << "case " << i << " of scale " << c.scale;
  }
}

TEST(Image, DecodeRejectsGarbage) {
  Image img;
  EXPECT_FALSE(DecodeImage("", img));
  EXPECT_FALSE(DecodeImage("\x89PNG\r\n\x1a\nbroken", img));
}

Image Solid(int w, int h, uint32_t p) {
  Image img;
  img.width = w;
  img.height = h;
  img.pixels.assign(static_cast<size_t>(w) * h, p);
  return img;
}

TEST(Image, ShrinkToScaleAveragesWhatEachPixelCovers) {
  // A one-pixel white line on transparent, 8 by 8, shrunk to 7, 6, 5 and 4
  // columns: the line's light is kept whole (no skipped or doubled source
  // pixels), spread over at most two pixels, and no colour exceeds its alpha.
  for (int line = 0; line < 8; ++line) {
    Image img = Solid(8, 8, 0);
    for (int y = 0; y < 8; ++y) img.pixels[static_cast<size_t>(y) * 8 + line] = 0xFFFFFFFF;
    for (int w : {7, 6, 5, 4}) {
      Image out = ShrinkToScale(img, 8, w);
      ASSERT_EQ(out.width, w);
      ASSERT_EQ(out.height, w);
      int alpha = 0, lit = 0;
      for (int x = 0; x < w; ++x) {
        const uint32_t p = out.At(x, 0);
        alpha += static_cast<int>(p >> 24);
        lit += (p >> 24) ? 1 : 0;
        EXPECT_LE(p & 0xFF, p >> 24);
      }
      EXPECT_NEAR(alpha, 255.0 * w / 8, 2.0) << "line " << line << " into " << w;
      EXPECT_LE(lit, 2) << "line " << line << " into " << w;
    }
  }
  // Flat colour stays exactly that colour at any scale.
  const Image flat = ShrinkToScale(Solid(12, 8, 0xFF3366CC), 200, 150);
  ASSERT_EQ(flat.width, 9);
  for (uint32_t p : flat.pixels) EXPECT_EQ(p, 0xFF3366CCu);
  // A last column the source only half reaches is half transparent, as the
  // rasterizer draws it: 5 pixels at 200 % are 2.5 at 100 %.
  const Image edge = ShrinkToScale(Solid(5, 2, 0xFFFFFFFF), 200, 100);
  ASSERT_EQ(edge.width, 3);
  EXPECT_EQ(edge.At(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(edge.At(2, 0), 0x80808080u);
  // Halving averages each 2x2 block; a larger scale leaves the image as it is.
  Image checker = Solid(2, 2, 0xFF000000);
  checker.pixels[0] = checker.pixels[3] = 0xFFFFFFFF;
  EXPECT_EQ(ShrinkToScale(checker, 200, 100).pixels[0], 0xFF808080u);
  EXPECT_EQ(ShrinkToScale(checker, 100, 150).width, 2);
}

TEST(Canvas, CompositesSourceOverWithClip) {
  Bitmap bmp(8, 8);
  Canvas c = bmp.MakeCanvas();
  c.FillRect(Rect{0, 0, 8, 8}, 0xFF000080);  // opaque navy
  c.FillRect(Rect{0, 0, 4, 8}, 0x80FFFFFF);  // half white over it
  EXPECT_EQ(c.Pixel(6, 0), 0xFF000080u);
  uint32_t mixed = c.Pixel(1, 1);
  EXPECT_EQ(mixed >> 24, 0xFFu);
  EXPECT_NEAR(static_cast<int>((mixed >> 16) & 0xFF), 128, 2);
  EXPECT_NEAR(static_cast<int>(mixed & 0xFF), 128 + 64, 2);
  c.SetClip(Rect{0, 0, 2, 2});
  c.FillRect(Rect{0, 0, 8, 8}, 0xFFFF0000);
  EXPECT_EQ(c.Pixel(1, 1), 0xFFFF0000u);
  EXPECT_EQ(c.Pixel(2, 2), mixed);
}

TEST(Canvas, TranslucentImageKeepsAlphaOnEmptySurface) {
  Bitmap bmp(4, 4);
  Canvas c = bmp.MakeCanvas();
  c.DrawImage(Solid(2, 2, 0x40000000), Rect{0, 0, 2, 2}, Rect{0, 0, 4, 4});
  EXPECT_EQ(c.Pixel(3, 3), 0x40000000u);
  c.DrawImage(Solid(2, 2, 0x40000000), Rect{0, 0, 2, 2}, Rect{0, 0, 4, 4}, 128);
  EXPECT_NEAR(static_cast<int>(c.Pixel(0, 0) >> 24), 0x40 + 0x20 - 0x08, 2);
}

TEST(Canvas, NineSliceKeepsCornersAndStretchesCentre) {
  // 6x6 image: red 2-pixel frame around a green centre.
  Image img = Solid(6, 6, 0xFFFF0000);
  for (int y = 2; y < 4; ++y)
    for (int x = 2; x < 4; ++x) img.pixels[y * 6 + x] = 0xFF00FF00;
  Bitmap bmp(20, 10);
  Canvas c = bmp.MakeCanvas();
  c.DrawNineSlice(img, Rect{2, 2, 2, 2}, Rect{0, 0, 20, 10}, Rect{4, 4, 4, 4});
  EXPECT_EQ(c.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(c.Pixel(3, 3), 0xFFFF0000u);
  EXPECT_EQ(c.Pixel(19, 9), 0xFFFF0000u);
  EXPECT_EQ(c.Pixel(10, 5), 0xFF00FF00u);
  EXPECT_EQ(c.Pixel(15, 5), 0xFF00FF00u);
}

TEST(Canvas, ShrinkingAveragesInsteadOfDroppingPixels) {
  // Alternating black and white columns shrunk to a quarter turn grey.
  Image img = Solid(16, 4, 0xFF000000);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 16; x += 2) img.pixels[y * 16 + x] = 0xFFFFFFFF;
  Bitmap bmp(4, 1);
  Canvas c = bmp.MakeCanvas();
  c.DrawImage(img, Rect{0, 0, 16, 4}, Rect{0, 0, 4, 1});
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(static_cast<int>(c.Pixel(x, 0) & 0xFF), 128, 40) << x;
}

TEST(Canvas, RoundRectLeavesCornersClear) {
  Bitmap bmp(20, 20);
  Canvas c = bmp.MakeCanvas();
  c.FillRoundRect(Rect{0, 0, 20, 20}, 6, 0xFFFFFFFF);
  EXPECT_EQ(c.Pixel(0, 0), 0u);
  EXPECT_EQ(c.Pixel(10, 10), 0xFFFFFFFFu);
  EXPECT_EQ(c.Pixel(10, 0), 0xFFFFFFFFu);
  uint32_t edge = c.Pixel(1, 1);
  EXPECT_GT(edge >> 24, 0u);
  EXPECT_LT(edge >> 24, 255u);
}

}  // namespace
}  // namespace skinui
