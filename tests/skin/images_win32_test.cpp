// The program's images on Windows: resources of the executable decoded by GDI+, the
// bitmaps through GDI for LoadResourceImage and through GDI+'s own resource loader for the
// process cache.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <utility>

#include "platform/seam.h"
#include "skin/canvas.h"
#include "skin/drawing_platform.h"
#include "skin/images.h"
#include "skin_art.h"

namespace fernlite {
namespace {

bool AnyTransparent(const ImagePixels& pixels) {
  for (uint32_t p : pixels.argb)
    if ((p >> 24) != 255) return true;
  return false;
}

TEST(ProgramImages, EveryTableImageLoadsAsTheCommittedFileWithItsAlpha) {
  for (const ImageInfo& info : ImageTable()) {
    SCOPED_TRACE(ImageResourceName(info.id, info.type));
    const Image image = LoadResourceImage(info.id, info.type);
    ASSERT_FALSE(image.Empty());
    EXPECT_EQ(image.Width(), info.width);
    EXPECT_EQ(image.Height(), info.height);
    const ImagePixels pixels = image.ReadPixels();
    ASSERT_EQ(pixels.argb.size(), static_cast<size_t>(info.width) * info.height);
    // The bitmaps (and the PNG frame 164) draw fully opaque, the other PNGs keep their alpha.
    EXPECT_EQ(AnyTransparent(pixels), info.alpha);
    EXPECT_EQ(pixels.argb, test::ArtImage(info.id, info.type).ReadPixels().argb);
  }
}

TEST(ProgramImages, AnImageIsLookedUpByIdentifierAndType) {
  // 164 is stored as a PNG: the skinned frame finds it only under that type.
  EXPECT_TRUE(LoadResourceImage(164, ImageType::Bitmap).Empty());
  const Image frame = LoadResourceImage(164, ImageType::Png);
  ASSERT_FALSE(frame.Empty());
  EXPECT_EQ(frame.Width(), 594);
  EXPECT_EQ(frame.Height(), 523);
  EXPECT_TRUE(LoadResourceImage(153, ImageType::Jpg).Empty());
  EXPECT_TRUE(LoadResourceImage(152, ImageType::Png).Empty());
  EXPECT_TRUE(LoadResourceImage(155, ImageType::Png).Empty());
  EXPECT_TRUE(LoadResourceImage(999, ImageType::Png).Empty());
  EXPECT_TRUE(LoadResourceImage(999, ImageType::Bitmap).Empty());
}

TEST(ProgramImages, ADecodedResourceStillDrawsAfterItsCopiesAreGone) {
  // The decoder may read its bytes only when drawing; they must live as long as the image.
  Image kept;
  {
    const Image first = LoadResourceImage(172, ImageType::Png);
    ASSERT_FALSE(first.Empty());
    kept = first;
    for (int i = 0; i < 20; ++i) LoadResourceImage(153, ImageType::Png);
  }
  Image surface = Image::Surface(31, 26);
  {
    Canvas canvas(surface);
    canvas.DrawImage(kept, 0, 0);
  }
  EXPECT_EQ(surface.ReadPixels().argb, test::ArtImage(172, ImageType::Png).ReadPixels().argb);
}

TEST(ProgramImages, TheCacheLoadsWithItsOwnCallOnceAndKeepsMisses) {
  DrawingPlatform drawing = Platform<DrawingPlatform>();
  int loads = 0;
  drawing.load_cached_bitmap = [&loads, real = drawing.load_cached_bitmap](uint16_t id) {
    ++loads;
    return real(id);
  };
  // The cache does not go through LoadResourceImage's path.
  drawing.load_image = [](uint16_t, ImageType) { return Image(); };
  ScopedPlatform<DrawingPlatform> scoped(std::move(drawing));

  const Image* strip = ImageCache::Instance().Get(168);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->Width(), 300);
  EXPECT_EQ(strip->Height(), 25);
  EXPECT_EQ(ImageCache::Instance().Get(168), strip);
  // 164 is a PNG, so there is no bitmap 164; the miss is stored, not retried.
  EXPECT_EQ(ImageCache::Instance().Get(164), nullptr);
  EXPECT_EQ(ImageCache::Instance().Get(164), nullptr);
  EXPECT_EQ(loads, 2);
}

TEST(ProgramImages, BothBitmapPathsGiveTheSameOpaquePixels) {
  for (uint16_t id : {155, 159, 162, 165, 166}) {
    SCOPED_TRACE(id);
    const Image* cached = ImageCache::Instance().Get(id);
    ASSERT_NE(cached, nullptr);
    const ImagePixels pixels = cached->ReadPixels();
    EXPECT_FALSE(AnyTransparent(pixels));
    EXPECT_EQ(pixels.argb, LoadResourceImage(id, ImageType::Bitmap).ReadPixels().argb);
  }
  EXPECT_TRUE(Platform<DrawingPlatform>().load_cached_bitmap(999).Empty());
}

}  // namespace
}  // namespace fernlite
