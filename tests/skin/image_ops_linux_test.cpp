#include "skin/images.h"

#include <gtest/gtest.h>

#include <set>

namespace fernlite {
namespace {

Image Solid(int w, int h, uint32_t premultiplied) {
  Image image(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.Set(x, y, premultiplied);
  return image;
}

TEST(PixelMath, PremultiplyAndBlendOver) {
  EXPECT_EQ(Premultiply(0x80FF0000u), 0x80800000u);
  EXPECT_EQ(Premultiply(0x00123456u), 0u);
  EXPECT_EQ(Premultiply(0xFF123456u), 0xFF123456u);
  EXPECT_EQ(Unpremultiply(0x80800000u), 0x80FF0000u);

  // Opaque source replaces, transparent source keeps.
  EXPECT_EQ(BlendOver(0xFF102030u, 0xFFA0B0C0u), 0xFFA0B0C0u);
  EXPECT_EQ(BlendOver(0xFF102030u, 0x00000000u), 0xFF102030u);
  // Half-covered red over opaque blue: red + blue * (1 - 0.5), alpha stays opaque.
  uint32_t out = BlendOver(0xFF0000FFu, 0x80800000u);
  EXPECT_EQ(out >> 24, 0xFFu);
  EXPECT_EQ((out >> 16) & 0xFF, 0x80u);
  EXPECT_EQ(out & 0xFF, 0x7Fu);
  // Over transparent black the source comes through unchanged.
  EXPECT_EQ(BlendOver(0u, 0x40102030u), 0x40102030u);
  // Two half layers: alpha 1 - 0.5 * 0.5.
  EXPECT_NEAR(static_cast<int>(BlendOver(0x80000000u, 0x80000000u) >> 24), 191, 1);
}

TEST(DrawImage, ClipsAtEveryEdge) {
  Image surface(4, 4);
  Image red = Solid(3, 3, 0xFFFF0000u);
  DrawImageAt(surface, red, -1, -1);  // covers (0..1, 0..1)
  DrawImageAt(surface, red, 3, 3);    // covers (3, 3) only
  DrawImageAt(surface, red, 10, 0);   // entirely outside
  int covered = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) covered += surface.At(x, y) != 0;
  EXPECT_EQ(covered, 5);
  EXPECT_EQ(surface.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(surface.At(1, 1), 0xFFFF0000u);
  EXPECT_EQ(surface.At(2, 2), 0u);
  EXPECT_EQ(surface.At(3, 3), 0xFFFF0000u);
}

TEST(DrawImage, ScalesByNearestPixelAndDrawsSourceRectangles) {
  Image two(2, 1);
  two.Set(0, 0, 0xFF0000FFu);
  two.Set(1, 0, 0xFF00FF00u);
  Image surface(4, 2);
  DrawImage(surface, two, Rect{0, 0, 4, 2});
  EXPECT_EQ(surface.At(0, 0), 0xFF0000FFu);
  EXPECT_EQ(surface.At(1, 1), 0xFF0000FFu);
  EXPECT_EQ(surface.At(2, 0), 0xFF00FF00u);
  EXPECT_EQ(surface.At(3, 1), 0xFF00FF00u);

  // The second frame of a strip, stretched to the whole surface.
  Image frame(4, 2);
  DrawImageRect(frame, two, Rect{1, 0, 2, 1}, Rect{0, 0, 4, 2});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(frame.At(x, y), 0xFF00FF00u) << x << "," << y;

  // Empty rectangles and images draw nothing.
  Image untouched(2, 2);
  DrawImage(untouched, two, Rect{1, 1, 1, 1});
  DrawImage(untouched, Image(), Rect{0, 0, 2, 2});
  EXPECT_EQ(untouched.At(0, 0) | untouched.At(1, 1), 0u);
}

TEST(ImageTable, EveryImageHasOneEntryAndStripsDivideEvenly) {
  std::set<std::pair<uint16_t, ImageType>> seen;
  for (const ImageInfo& info : ImageTable()) {
    EXPECT_TRUE(seen.insert({info.id, info.type}).second) << info.id;
    EXPECT_GT(info.width, 0);
    EXPECT_EQ(info.width % info.frames, 0) << info.id;
  }
  EXPECT_EQ(seen.size(), 16u);
  ASSERT_NE(FindImageSpec(153, ImageType::Png), nullptr);
  EXPECT_EQ(FindImageSpec(153, ImageType::Png)->width, 661);
  EXPECT_EQ(FindImageSpec(166, ImageType::Bitmap)->frames, 3);
  EXPECT_EQ(FindImageSpec(164, ImageType::Bitmap), nullptr);
  EXPECT_EQ(ImageResourceName(155, ImageType::Bitmap), "155.bmp");
  EXPECT_EQ(ImageResourceName(152, ImageType::Jpg), "152.jpg");
  EXPECT_EQ(ImageTypeFromName(u"png"), ImageType::Png);
  EXPECT_EQ(ImageTypeFromName(u"JPG"), ImageType::Jpg);
  EXPECT_EQ(ImageTypeFromName(u"BITMAP"), ImageType::Bitmap);
}

TEST(ImageCacheTest, LoadsOnceAndRemembersFailures) {
  int loads = 0;
  ImageCache cache([&loads](uint16_t id) -> std::unique_ptr<Image> {
    ++loads;
    if (id == 7) return nullptr;
    return std::make_unique<Image>(id, 1);
  });
  const Image* first = cache.Get(3);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Width(), 3);
  EXPECT_EQ(cache.Get(3), first);
  EXPECT_EQ(cache.Get(7), nullptr);
  EXPECT_EQ(cache.Get(7), nullptr);
  EXPECT_EQ(loads, 2);
}

}  // namespace
}  // namespace fernlite
