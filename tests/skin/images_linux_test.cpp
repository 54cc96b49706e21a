#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "skin/images.h"
#include "skin/translucent.h"

// fontconfig keeps its configuration for the life of the process (pango loads it on first
// text layout); that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace fernlite {
namespace {

TEST(ProgramImages, EveryTableImageIsEmbeddedAtItsExactSize) {
  for (const ImageInfo& info : ImageTable()) {
    SCOPED_TRACE(ImageResourceName(info.id, info.type));
    std::unique_ptr<Image> image = LoadResourceImage(info.id, info.type);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Width(), info.width);
    EXPECT_EQ(image->Height(), info.height);
    bool any_transparent = false;
    for (int y = 0; y < image->Height(); ++y)
      for (int x = 0; x < image->Width(); ++x) any_transparent |= (image->At(x, y) >> 24) != 255;
    EXPECT_EQ(any_transparent, info.alpha);
  }
}

TEST(ProgramImages, AlphaSurvivesDecodingAndIsPremultiplied) {
  std::unique_ptr<Image> frame = LoadResourceImage(153, ImageType::Png);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->At(300, 200), 0u);        // page area: fully transparent
  EXPECT_EQ(frame->At(659, 5) >> 24, 255u);  // ornament: opaque
  for (int y = 0; y < frame->Height(); ++y)
    for (int x = 0; x < frame->Width(); ++x) {
      uint32_t p = frame->At(x, y), a = p >> 24;
      ASSERT_LE((p >> 16) & 0xFF, a);
      ASSERT_LE((p >> 8) & 0xFF, a);
      ASSERT_LE(p & 0xFF, a);
    }
}

TEST(ProgramImages, WrongTypeOrUnknownIdFindsNothing) {
  EXPECT_EQ(LoadResourceImage(164, ImageType::Bitmap), nullptr);
  EXPECT_EQ(LoadResourceImage(153, ImageType::Jpg), nullptr);
  EXPECT_EQ(LoadResourceImage(999, ImageType::Png), nullptr);
}

TEST(ProgramImages, BitmapsAre24BitBottomUp) {
  for (const ImageInfo& info : ImageTable()) {
    if (info.type != ImageType::Bitmap) continue;
    std::string path = std::string(FERNLITE_TEST_DATA_DIR) + "/../../res/images/" +
                       ImageResourceName(info.id, info.type);
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 54u) << path;
    auto u16 = [&](size_t at) { return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8; };
    auto i32 = [&](size_t at) { return int32_t(uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16); };
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(i32(18), info.width);
    EXPECT_EQ(i32(22), info.height) << "positive height: rows run bottom-up";
    EXPECT_EQ(u16(28), 24) << path;
  }
}

TEST(ProgramImages, StripFramesDifferByState) {
  // Normal, hover and pressed frames of a strip must not be the same picture.
  const Image* strip = ImageCache::Instance().Get(159);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(ImageCache::Instance().Get(159), strip);
  EXPECT_EQ(ImageCache::Instance().Get(164), nullptr);
  const int fw = strip->Width() / 3;
  EXPECT_NE(strip->At(1, 1), strip->At(fw + 1, 1));
  EXPECT_NE(strip->At(fw + 1, 1), strip->At(2 * fw + 1, 1));
}

TEST(ProgramImages, ButtonTextIsDrawnInsideItsRectangleOnly) {
  Image surface(120, 40);
  Rect box{10, 5, 90, 35};
  DrawTextLine(surface, u"Play 进入", box, CTranslucentButton::TextFont(), 0xFF000000u,
               TextAlign::Center, TextAlign::Center);
  int inside = 0, outside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) (box.Contains(x, y) ? inside : outside) += surface.At(x, y) != 0;
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace fernlite
