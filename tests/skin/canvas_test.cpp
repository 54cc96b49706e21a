// The drawing operations on the build's own library (cairo and pango, or GDI+ under Wine):
// what the skin relies on, pixel by pixel.
#include "skin/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "fakes/web_engine_leaks.h"
#include "skin_art.h"

namespace fernlite {
namespace {

using test::Filled;
using test::PixelNear;
using test::Strip;

constexpr uint32_t kRedPixel = 0xFFFF0000u, kGreenPixel = 0xFF00FF00u, kBluePixel = 0xFF0000FFu;

TEST(CanvasRect, HostileSizesSaturateInsteadOfWrapping) {
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const Rect wide = RectXYWH(10, 5, kMax, kMax);
  EXPECT_EQ(wide.right, kMax);
  EXPECT_EQ(wide.bottom, kMax);
  EXPECT_FALSE(wide.Empty());
  EXPECT_TRUE(wide.Contains(11, 6));
  const Rect negative = RectXYWH(-10, 0, kMin, 5);
  EXPECT_EQ(negative.right, kMin);
  EXPECT_TRUE(negative.Empty());
  EXPECT_EQ((Rect{kMin, kMin, kMax, kMax}).Width(), kMax);
  EXPECT_EQ((Rect{kMax, 0, kMin, 0}).Width(), kMin);
}

TEST(CanvasSurface, StartsTransparentAndReadsBackItsSize) {
  Image surface = Image::Surface(3, 2);
  ASSERT_FALSE(surface.Empty());
  const ImagePixels pixels = surface.ReadPixels();
  ASSERT_EQ(pixels.width, 3);
  ASSERT_EQ(pixels.height, 2);
  for (uint32_t p : pixels.argb) EXPECT_EQ(p, 0u);
  EXPECT_TRUE(Image::Surface(0, 5).Empty());
  EXPECT_TRUE(Image::Surface(4, -1).Empty());
  // Nothing to draw on: every operation is a no-op.
  Canvas none{Image()};
  EXPECT_FALSE(none.Valid());
  none.FillRect(Rect{0, 0, 1, 1}, kRedPixel);
  none.DrawImage(surface, 0, 0);
}

// One colour laid over another, by a fill or by drawing an image of it.
struct BlendCase {
  const char* name;
  uint32_t under;     // straight colour filled first (0: nothing)
  uint32_t over;      // straight colour drawn on top
  bool as_image;      // drawn as an image rather than filled
  uint32_t expected;  // premultiplied result
};

TEST(CanvasBlending, SourceOverOfStraightColoursGivesPremultipliedPixels) {
  const BlendCase cases[] = {
      {"half red alone is premultiplied", 0, 0x80FF0000u, false, 0x80800000u},
      {"a transparent colour leaves nothing", 0, 0x00123456u, false, 0u},
      {"an opaque colour stays as it is", 0, 0xFF123456u, false, 0xFF123456u},
      {"opaque over opaque replaces", 0xFF102030u, 0xFFA0B0C0u, false, 0xFFA0B0C0u},
      {"transparent over opaque keeps", 0xFF102030u, 0x00000000u, true, 0xFF102030u},
      // Red + blue * (1 - 0.5); alpha stays opaque.
      {"half red image over blue", 0xFF0000FFu, 0x80FF0000u, true, 0xFF80007Fu},
      {"over transparent black the source comes through", 0, 0x404080C0u, true, 0x40102030u},
      // Alpha 1 - 0.5 * 0.5.
      {"two half layers", 0x80000000u, 0x80000000u, false, 0xBF000000u},
  };
  for (const BlendCase& c : cases) {
    SCOPED_TRACE(c.name);
    Image surface = Image::Surface(2, 2);
    {
      Canvas canvas(surface);
      if (c.under) canvas.FillRect(Rect{0, 0, 2, 2}, c.under);
      if (c.as_image)
        canvas.DrawImage(Filled(1, 1, c.over), Rect{0, 0, 2, 2});
      else
        canvas.FillRect(Rect{0, 0, 2, 2}, c.over);
    }
    const ImagePixels pixels = surface.ReadPixels();
    EXPECT_TRUE(PixelNear(pixels.At(1, 1), c.expected));
  }
  // Half red read back is still full red once the alpha is taken out of it.
  const uint32_t half_red = Filled(1, 1, 0x80FF0000u).ReadPixels().At(0, 0);
  EXPECT_NEAR(static_cast<int>(((half_red >> 16) & 0xFF) * 255 / (half_red >> 24)), 0xFF, 2);
}

TEST(CanvasImages, ClipAtEveryEdge) {
  Image surface = Image::Surface(4, 4);
  const Image red = Filled(3, 3, kRedPixel);
  {
    Canvas canvas(surface);
    canvas.DrawImage(red, -1, -1);  // covers (0..1, 0..1)
    canvas.DrawImage(red, 3, 3);    // covers (3, 3) only
    canvas.DrawImage(red, 10, 0);   // entirely outside
  }
  const ImagePixels pixels = surface.ReadPixels();
  int covered = 0;
  for (uint32_t p : pixels.argb) covered += p != 0;
  EXPECT_EQ(covered, 5);
  EXPECT_EQ(pixels.At(0, 0), kRedPixel);
  EXPECT_EQ(pixels.At(1, 1), kRedPixel);
  EXPECT_EQ(pixels.At(2, 2), 0u);
  EXPECT_EQ(pixels.At(3, 3), kRedPixel);
}

TEST(CanvasImages, ScaleByNearestPixelAndDrawSourceRectangles) {
  const Image two = Strip(1, 1, {kBluePixel, kGreenPixel});
  Image surface = Image::Surface(4, 2);
  {
    Canvas canvas(surface);
    canvas.DrawImage(two, Rect{0, 0, 4, 2});
  }
  ImagePixels pixels = surface.ReadPixels();
  EXPECT_EQ(pixels.At(0, 0), kBluePixel);
  EXPECT_EQ(pixels.At(1, 1), kBluePixel);
  EXPECT_EQ(pixels.At(2, 0), kGreenPixel);
  EXPECT_EQ(pixels.At(3, 1), kGreenPixel);

  // The second frame of a strip, stretched to the whole surface: nothing of the first frame.
  Image frame = Image::Surface(4, 2);
  {
    Canvas canvas(frame);
    canvas.DrawImage(two, Rect{1, 0, 2, 1}, Rect{0, 0, 4, 2});
  }
  pixels = frame.ReadPixels();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixels.At(x, y), kGreenPixel) << x << "," << y;

  // A strip scaled down keeps whole frames: 3 frames of 10 into 6 pixels.
  const Image wide = Strip(10, 2, {kRedPixel, kGreenPixel, kBluePixel});
  Image small = Image::Surface(6, 1);
  {
    Canvas canvas(small);
    canvas.DrawImage(wide, Rect{0, 0, 6, 1});
  }
  pixels = small.ReadPixels();
  const uint32_t expected[] = {kRedPixel,   kRedPixel,  kGreenPixel,
                               kGreenPixel, kBluePixel, kBluePixel};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(pixels.At(x, 0), expected[x]) << x;

  // A floating-point rectangle on whole pixels draws as the integer one.
  Image floating = Image::Surface(4, 2);
  {
    Canvas canvas(floating);
    canvas.DrawImage(two, RectF{2, 0, 2, 2});
  }
  pixels = floating.ReadPixels();
  EXPECT_EQ(pixels.At(1, 0), 0u);
  EXPECT_EQ(pixels.At(2, 0), kBluePixel);
  EXPECT_EQ(pixels.At(3, 1), kGreenPixel);

  // Empty rectangles and images draw nothing.
  Image untouched = Image::Surface(2, 2);
  {
    Canvas canvas(untouched);
    canvas.DrawImage(two, Rect{1, 1, 1, 1});
    canvas.DrawImage(Image(), Rect{0, 0, 2, 2});
    canvas.DrawImage(two, Rect{}, Rect{0, 0, 2, 2});
  }
  pixels = untouched.ReadPixels();
  EXPECT_EQ(pixels.At(0, 0) | pixels.At(1, 1), 0u);
}

TEST(CanvasClip, ExcludedRectangleKeepsItsPixelsThroughClearAndDrawing) {
  Image surface = Filled(6, 4, kGreenPixel);
  {
    Canvas canvas(surface);
    canvas.ExcludeClip(Rect{1, 1, 3, 3});
    canvas.Clear();
    canvas.DrawImage(Filled(1, 1, kRedPixel), Rect{0, 0, 2, 2});
  }
  const ImagePixels pixels = surface.ReadPixels();
  EXPECT_EQ(pixels.At(1, 1), kGreenPixel);
  EXPECT_EQ(pixels.At(2, 2), kGreenPixel);
  EXPECT_EQ(pixels.At(0, 0), kRedPixel);
  EXPECT_EQ(pixels.At(1, 0), kRedPixel);
  EXPECT_EQ(pixels.At(3, 3), 0u);
  EXPECT_EQ(pixels.At(5, 0), 0u);
}

// Where text landed: how many pixels it covered inside and outside a box, and its extent.
struct Ink {
  int inside = 0;
  int outside = 0;
  int left = 1 << 20;
  int right = -1;
  int top = 1 << 20;
  int bottom = -1;
};

Ink InkOf(const Image& surface, const Rect& box) {
  const ImagePixels pixels = surface.ReadPixels();
  Ink ink;
  for (int y = 0; y < pixels.height; ++y)
    for (int x = 0; x < pixels.width; ++x) {
      if ((pixels.At(x, y) >> 24) < 0x40) continue;
      (box.Contains(x, y) ? ink.inside : ink.outside) += 1;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  return ink;
}

Image Text(int w, int h, std::u16string_view text, const RectF& layout, const FontSpec& font,
           const StringFormat& format) {
  Image surface = Image::Surface(w, h);
  Canvas canvas(surface);
  canvas.DrawString(text, layout, font, format, 0xFF000000u);
  return surface;
}

TEST(CanvasText, ButtonTextIsDrawnInsideItsRectangleOnly) {
  const Rect box{10, 5, 90, 35};
  const StringFormat centred{0, TextAlign::Center, TextAlign::Center};
  const Ink ink = InkOf(Text(120, 40, u"Play 进入", ToRectF(box), FontSpec{}, centred), box);
  EXPECT_GT(ink.inside, 20);
  EXPECT_EQ(ink.outside, 0);
  // Centred both ways: about as much room on either side.
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 50, 8);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 20, 6);
}

TEST(CanvasText, AlignmentPlacesTheLineAtEitherEnd) {
  const Rect box{0, 0, 200, 30};
  const FontSpec font{u"Arial", 10, false};
  const Ink near = InkOf(Text(200, 30, u"Fernlite", ToRectF(box), font,
                              {kStringFormatLineLimit, TextAlign::Near, TextAlign::Center}),
                         box);
  const Ink far = InkOf(Text(200, 30, u"Fernlite", ToRectF(box), font,
                             {kStringFormatLineLimit, TextAlign::Far, TextAlign::Center}),
                        box);
  ASSERT_GT(near.inside, 0);
  ASSERT_GT(far.inside, 0);
  EXPECT_LT(near.left, 10);
  EXPECT_LT(near.right, 100);
  EXPECT_GT(far.right, 188);
  EXPECT_GT(far.left, 100);
  EXPECT_NEAR(far.right - far.left, near.right - near.left, 2);  // the same line, moved
}

TEST(CanvasText, LineLimitShowsOnlyWholeLines) {
  const FontSpec font{u"Arial", 12, false};
  // Far too low for one line: nothing with the limit, a clipped line without it.
  const RectF low{0, 0, 120, 6};
  EXPECT_EQ(InkOf(Text(120, 30, u"Fernlite", low, font, {kStringFormatLineLimit}), Rect{}).outside,
            0);
  const Ink clipped = InkOf(Text(120, 30, u"Fernlite", low, font, {}), Rect{0, 0, 120, 6});
  EXPECT_GT(clipped.inside, 0);
  EXPECT_EQ(clipped.outside, 0);
}

TEST(CanvasText, EmptyLayoutStartsAtThePointWithoutClippingOrWrapping) {
  const FontSpec bold{u"微软雅黑", 9, true};
  const Ink ink = InkOf(Text(300, 40, u"岚岫奇谭 Fernlite launcher", RectF{31, 10, 0, 0}, bold,
                             {kStringFormatNoWrap, TextAlign::Near, TextAlign::Near}),
                        Rect{});
  ASSERT_GT(ink.outside, 40);
  EXPECT_GE(ink.left, 31);
  EXPECT_LT(ink.left, 40);
  EXPECT_GE(ink.top, 10);
  EXPECT_LT(ink.bottom, 10 + 20);  // one line
  EXPECT_GT(ink.right, 31 + 100);
}

}  // namespace
}  // namespace fernlite
