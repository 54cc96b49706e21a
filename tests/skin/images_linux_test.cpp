// The program's own images on Linux: embedded with GResource, PNG decoded by cairo and the
// rest by gdk-pixbuf.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "skin/drawing_linux.h"
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

Image ThroughPixbuf(std::span<const uint8_t> bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  const bool written = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  Image image = written && closed ? ImageFromPixbuf(gdk_pixbuf_loader_get_pixbuf(loader)) : Image();
  g_object_unref(loader);
  return image;
}

std::vector<uint8_t> SavedPng(GdkPixbuf* pixbuf) {
  gchar* data = nullptr;
  gsize size = 0;
  EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &data, &size, "png", nullptr, nullptr));
  std::vector<uint8_t> bytes(data, data + size);
  g_free(data);
  return bytes;
}

// Translucent edges are where a wrong premultiplication or channel order would show.
TEST(PngDecoding, GivesThePixelsTheToolkitsDecoderGives) {
  for (const ImageInfo& info : ImageTable()) {
    const std::string name = ImageResourceName(info.id, info.type);
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".png") != 0) continue;
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = test::ReadArtFile(name);
    const Image decoded = DecodeImage(bytes);
    const Image reference = ThroughPixbuf(bytes);
    ASSERT_FALSE(reference.Empty());
    ASSERT_FALSE(decoded.Empty());
    EXPECT_EQ(decoded.ReadPixels().argb, reference.ReadPixels().argb);
  }
}

TEST(PngDecoding, AnOpaquePictureIsOpaqueEverywhere) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 5, 3);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      guchar* p = pixels + y * stride + x * 3;
      p[0] = static_cast<guchar>(40 * x);
      p[1] = static_cast<guchar>(80 * y);
      p[2] = 7;
    }
  const std::vector<uint8_t> bytes = SavedPng(pixbuf);
  g_object_unref(pixbuf);

  const ImagePixels decoded = DecodeImage(bytes).ReadPixels();
  ASSERT_EQ(decoded.width, 5);
  ASSERT_EQ(decoded.height, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const uint32_t expected = 0xFF000000u | static_cast<uint32_t>(40 * x) << 16 |
                                static_cast<uint32_t>(80 * y) << 8 | 7u;
      EXPECT_EQ(decoded.At(x, y), expected) << x << "," << y;
    }
}

TEST(PngDecoding, APictureCutShortOrDamagedDecodesToNothing) {
  std::vector<uint8_t> bytes = test::ReadArtFile("153.png");
  ASSERT_GT(bytes.size(), 1000u);
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
  EXPECT_TRUE(DecodeImage(cut).Empty());
  std::vector<uint8_t> damaged = bytes;
  for (size_t i = 100; i < 400; ++i) damaged[i] ^= 0x5A;  // inside the compressed pixels
  EXPECT_TRUE(DecodeImage(damaged).Empty());
}

}  // namespace
}  // namespace fernlite
