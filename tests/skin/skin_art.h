// Helpers for the skin tests: images made with the build's own drawing library, and the
// committed artwork in res/images decoded by it in place of the program's resources, so a test
// can swap in its own pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/seam.h"
#include "skin/canvas.h"
#include "skin/drawing_platform.h"
#include "skin/images.h"

namespace fernlite::test {

inline std::string ArtPath(const std::string& name) {
  return std::string(FERNLITE_TEST_DATA_DIR) + "/../../res/images/" + name;
}

inline std::vector<uint8_t> ReadArtFile(const std::string& name) {
  std::ifstream in(ArtPath(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An image of the table decoded from its file.
inline Image ArtImage(uint16_t id, ImageType type) {
  const std::vector<uint8_t> bytes = ReadArtFile(ImageResourceName(id, type));
  return DecodeImage(bytes);
}

// The program's images come from res/images for as long as this lives.
class ScopedArtResources {
 public:
  ScopedArtResources() : scoped_(WithArt()) {}

 private:
  static DrawingPlatform WithArt() {
    DrawingPlatform drawing = Platform<DrawingPlatform>();
    drawing.load_image = [](uint16_t id, ImageType type) {
      // Only what the program carries: the table's images and the window icon.
      if (!FindImageSpec(id, type) && !(id == 127 && type == ImageType::Png)) return Image();
      return ArtImage(id, type);
    };
    return drawing;
  }
  ScopedPlatform<DrawingPlatform> scoped_;
};

// A surface of one straight ARGB colour.
inline Image Filled(int w, int h, uint32_t argb) {
  Image image = Image::Surface(w, h);
  Canvas canvas(image);
  canvas.FillRect(Rect{0, 0, w, h}, argb);
  return image;
}

// A strip of `colours.size()` frames side by side, each one colour.
inline Image Strip(int frame_width, int height, const std::vector<uint32_t>& colours) {
  Image image = Image::Surface(frame_width * static_cast<int>(colours.size()), height);
  Canvas canvas(image);
  for (size_t i = 0; i < colours.size(); ++i)
    canvas.FillRect(RectXYWH(frame_width * static_cast<int>(i), 0, frame_width, height),
                    colours[i]);
  return image;
}

inline uint32_t PixelAt(const Image& image, int x, int y) {
  return image.ReadPixels().At(x, y);
}

// The two drawing libraries round blending differently by a unit at most.
inline ::testing::AssertionResult PixelNear(uint32_t actual, uint32_t expected, int tolerance = 1) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = static_cast<int>((actual >> shift) & 0xFF);
    const int e = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - e) > tolerance)
      return ::testing::AssertionFailure()
             << std::hex << "pixel 0x" << actual << ", expected 0x" << expected << " (within "
             << std::dec << tolerance << ")";
  }
  return ::testing::AssertionSuccess();
}

// Source over of premultiplied pixels, the rule both libraries follow.
inline uint32_t Over(uint32_t dst, uint32_t src) {
  const double k = 1.0 - (src >> 24) / 255.0;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const double s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    out |= static_cast<uint32_t>(s + d * k + 0.5) << shift;
  }
  return out;
}

}  // namespace fernlite::test
