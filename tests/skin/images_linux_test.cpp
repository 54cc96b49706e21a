// The program's own images on Linux: embedded with GResource and decoded with gdk-pixbuf.
#include <gtest/gtest.h>

#include "skin/images.h"
#include "skin_art.h"

namespace fernlite {
namespace {

TEST(ProgramImages, EveryTableImageIsEmbeddedAsTheCommittedFile) {
  for (const ImageInfo& info : ImageTable()) {
    SCOPED_TRACE(ImageResourceName(info.id, info.type));
    const Image image = LoadResourceImage(info.id, info.type);
    ASSERT_FALSE(image.Empty());
    EXPECT_EQ(image.Width(), info.width);
    EXPECT_EQ(image.Height(), info.height);
    EXPECT_EQ(image.ReadPixels().argb, test::ArtImage(info.id, info.type).ReadPixels().argb);
  }
  EXPECT_FALSE(LoadResourceImage(127, ImageType::Png).Empty());  // the window icon
}

TEST(ProgramImages, WrongTypeOrUnknownIdFindsNothing) {
  EXPECT_TRUE(LoadResourceImage(164, ImageType::Bitmap).Empty());
  EXPECT_TRUE(LoadResourceImage(153, ImageType::Jpg).Empty());
  EXPECT_TRUE(LoadResourceImage(999, ImageType::Png).Empty());
}

TEST(ProgramImages, TheCacheHoldsTheProgramsBitmaps) {
  const Image* strip = ImageCache::Instance().Get(165);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(ImageCache::Instance().Get(165), strip);
  EXPECT_EQ(strip->Width(), 66);
  EXPECT_EQ(ImageCache::Instance().Get(164), nullptr);
}

}  // namespace
}  // namespace fernlite
