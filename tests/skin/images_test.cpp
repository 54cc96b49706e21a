// The image table, the bitmap cache, and the committed artwork as the build's drawing library
// decodes it.
#include "skin/images.h"

#include <gtest/gtest.h>

#include <set>

#include "skin_art.h"

namespace fernlite {
namespace {

using test::ArtImage;
using test::ReadArtFile;

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
  ImageCache cache([&loads](uint16_t id) -> Image {
    ++loads;
    if (id == 7) return {};
    return Image::Surface(id, 1);
  });
  const Image* first = cache.Get(3);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Width(), 3);
  EXPECT_EQ(cache.Get(3), first);
  EXPECT_EQ(cache.Get(7), nullptr);
  EXPECT_EQ(cache.Get(7), nullptr);
  EXPECT_EQ(loads, 2);
}

TEST(CommittedArt, EveryTableImageDecodesAtItsExactSizeWithTheStatedAlpha) {
  for (const ImageInfo& info : ImageTable()) {
    SCOPED_TRACE(ImageResourceName(info.id, info.type));
    const Image image = ArtImage(info.id, info.type);
    ASSERT_FALSE(image.Empty());
    EXPECT_EQ(image.Width(), info.width);
    EXPECT_EQ(image.Height(), info.height);
    const ImagePixels pixels = image.ReadPixels();
    ASSERT_EQ(pixels.argb.size(), static_cast<size_t>(info.width) * info.height);
    bool any_transparent = false;
    for (uint32_t p : pixels.argb) any_transparent |= (p >> 24) != 255;
    // The 24-bit bitmaps and the frame have none: they draw fully opaque.
    EXPECT_EQ(any_transparent, info.alpha);
  }
}

TEST(CommittedArt, AlphaSurvivesDecodingAndIsPremultiplied) {
  const ImagePixels frame = ArtImage(153, ImageType::Png).ReadPixels();
  ASSERT_EQ(frame.width, 661);
  EXPECT_EQ(frame.At(300, 200), 0u);        // page area: fully transparent
  EXPECT_EQ(frame.At(659, 5) >> 24, 255u);  // ornament: opaque
  for (uint32_t p : frame.argb) {
    const uint32_t a = p >> 24;
    ASSERT_LE((p >> 16) & 0xFF, a);
    ASSERT_LE((p >> 8) & 0xFF, a);
    ASSERT_LE(p & 0xFF, a);
  }
}

TEST(CommittedArt, BitmapsAre24BitBottomUp) {
  for (const ImageInfo& info : ImageTable()) {
    if (info.type != ImageType::Bitmap) continue;
    const std::vector<uint8_t> bytes = ReadArtFile(ImageResourceName(info.id, info.type));
    SCOPED_TRACE(ImageResourceName(info.id, info.type));
    ASSERT_GE(bytes.size(), 54u);
    auto u16 = [&](size_t at) { return bytes[at] | bytes[at + 1] << 8; };
    auto i32 = [&](size_t at) { return int32_t(uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16); };
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(i32(18), info.width);
    EXPECT_EQ(i32(22), info.height) << "positive height: rows run bottom-up";
    EXPECT_EQ(u16(28), 24);
  }
}

TEST(CommittedArt, StripFramesDifferByState) {
  // Normal, hover and pressed frames of a strip must not be the same picture.
  for (uint16_t id : {159, 162, 165, 166, 168}) {
    SCOPED_TRACE(id);
    const ImagePixels strip = ArtImage(id, ImageType::Bitmap).ReadPixels();
    ASSERT_GT(strip.width, 0);
    const int fw = strip.width / 3;
    auto frame_differs = [&](int a, int b) {
      for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < fw; ++x)
          if (strip.At(a * fw + x, y) != strip.At(b * fw + x, y)) return true;
      return false;
    };
    EXPECT_TRUE(frame_differs(0, 1));
    EXPECT_TRUE(frame_differs(1, 2));
  }
}

TEST(CommittedArt, BytesThatAreNoImageDecodeToNothing) {
  const std::vector<uint8_t> text{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  EXPECT_TRUE(DecodeImage(text).Empty());
  EXPECT_TRUE(DecodeImage({}).Empty());
  std::vector<uint8_t> cut = ReadArtFile("153.png");
  ASSERT_GT(cut.size(), 100u);
  cut.resize(40);  // the header and nothing of the pixels
  EXPECT_TRUE(DecodeImage(cut).Empty());
}

TEST(CommittedArt, TheProcessCacheKeepsOneBitmapPerIdentifier) {
  test::ScopedArtResources art;
  const Image* strip = ImageCache::Instance().Get(159);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->Width(), 66);
  EXPECT_EQ(ImageCache::Instance().Get(159), strip);
  // 164 is a PNG: as a bitmap it is not found, and that is remembered.
  EXPECT_EQ(ImageCache::Instance().Get(164), nullptr);
  EXPECT_EQ(ImageCache::Instance().Get(164), nullptr);
}

}  // namespace
}  // namespace fernlite
