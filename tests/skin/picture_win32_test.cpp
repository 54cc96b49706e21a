// The JPG look without GDI+: OLE's picture loader paints the program's JPG resource.
#include "skin/picture_win32.h"

#include <gtest/gtest.h>

#include "fakes/com_doubles_win32.h"
#include "skin/canvas.h"
#include "skin/drawing_win32.h"
#include "skin/images.h"
#include "skin_art.h"

namespace fernlite {
namespace {

constexpr uint32_t kUnpainted = 0xFFFF00FF;

using test::SurfaceDC;

// Colours only: GDI leaves the alpha byte of what it paints undefined.
uint32_t Rgb(uint32_t argb) {
  return argb & 0xFFFFFF;
}

TEST(ResourcePictureTest, TheJpgIsPaintedStretchedIntoTheRectangleOnly) {
  const ResourcePicture picture = ResourcePicture::Load(152, L"JPG");
  ASSERT_FALSE(picture.Empty());
  const Image surface = test::Filled(40, 30, kUnpainted);
  const RECT target{5, 4, 25, 24};
  {
    SurfaceDC dc(surface);
    ASSERT_TRUE(picture.Paint(dc.get(), target));
    GdiFlush();
  }
  // The same decoder's pixels, scaled by the nearest pixel: 2 x 2 into 20 x 20.
  const ImagePixels art = test::ArtImage(152, ImageType::Jpg).ReadPixels();
  ASSERT_EQ(art.width, 2);
  const ImagePixels painted = surface.ReadPixels();
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside =
          x >= target.left && x < target.right && y >= target.top && y < target.bottom;
      const uint32_t want =
          inside ? Rgb(art.At((x - target.left) / 10, (y - target.top) / 10)) : Rgb(kUnpainted);
      ASSERT_TRUE(test::PixelNear(Rgb(painted.At(x, y)), want, 3)) << x << "," << y;
    }
}

TEST(ResourcePictureTest, OneDecodedPicturePaintsAnyNumberOfTimes) {
  const ResourcePicture picture = ResourcePicture::Load(152, L"JPG");
  ASSERT_FALSE(picture.Empty());
  const uint32_t colour = Rgb(test::ArtImage(152, ImageType::Jpg).ReadPixels().At(0, 0));
  for (const RECT& target : {RECT{0, 0, 8, 8}, RECT{8, 0, 16, 4}}) {
    const Image surface = test::Filled(16, 8, kUnpainted);
    {
      SurfaceDC dc(surface);
      ASSERT_TRUE(picture.Paint(dc.get(), target));
      GdiFlush();
    }
    EXPECT_TRUE(test::PixelNear(Rgb(surface.ReadPixels().At(target.right - 1, target.bottom - 1)),
                                colour, 3));
  }
}

TEST(ResourcePictureTest, AMissingResourcePaintsNothing) {
  EXPECT_TRUE(ResourcePicture::Load(999, L"JPG").Empty());
  EXPECT_TRUE(ResourcePicture::Load(152, L"PNG").Empty());
  // A bitmap strip is no custom resource.
  EXPECT_TRUE(ResourcePicture::Load(155, L"JPG").Empty());
  const Image surface = test::Filled(4, 4, kUnpainted);
  {
    SurfaceDC dc(surface);
    EXPECT_FALSE(ResourcePicture().Paint(dc.get(), RECT{0, 0, 4, 4}));
    EXPECT_FALSE(PaintPictureResource(dc.get(), 999, L"JPG", RECT{0, 0, 4, 4}));
    EXPECT_TRUE(PaintPictureResource(dc.get(), 152, L"JPG", RECT{0, 0, 2, 2}));
    GdiFlush();
  }
  const ImagePixels pixels = surface.ReadPixels();
  EXPECT_NE(Rgb(pixels.At(0, 0)), Rgb(kUnpainted));
  EXPECT_EQ(Rgb(pixels.At(3, 3)), Rgb(kUnpainted));
}

}  // namespace
}  // namespace fernlite
