// The program's image resources: which images exist, how one becomes a drawable image, and
// the process-wide cache of its bitmaps.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "skin/canvas.h"

namespace fernlite {

enum class ImageType { Bitmap, Png, Jpg };

// "PNG", "JPG" (case-insensitive); anything else is the bitmap type.
ImageType ImageTypeFromName(std::u16string_view name);

// One entry of the program's image resources: its exact size and, for strips, how many
// frames lie side by side.
struct ImageInfo {
  uint16_t id;
  ImageType type;
  int width;
  int height;
  int frames;
  bool alpha;
};

std::span<const ImageInfo> ImageTable();
const ImageInfo* FindImageSpec(uint16_t id, ImageType type);
// Resource name of an image inside the program ("153.png", "155.bmp", "152.jpg").
std::string ImageResourceName(uint16_t id, ImageType type);

// Where images come from. A null module means the program's own resources.
class ImageModule {
 public:
  virtual ~ImageModule() = default;
  virtual Image Load(uint16_t id, ImageType type) const = 0;
};

// Decodes an image resource; empty when it is missing or cannot be decoded.
Image LoadResourceImage(uint16_t id, ImageType type, const ImageModule* module = nullptr);

// The program's own resources.
Image LoadProgramImage(uint16_t id, ImageType type);

// An image from the bytes of a PNG, JPEG or BMP file, decoded by the drawing library.
Image DecodeImage(std::span<const uint8_t> bytes);

// Bitmaps of the program, decoded once and kept until the process ends. A failed load is
// stored as well (as none), so a missing bitmap is not retried.
class ImageCache {
 public:
  using Loader = std::function<Image(uint16_t id)>;

  explicit ImageCache(Loader loader);
  // Created on first use and never destroyed: cached bitmaps outlive every window, and the
  // drawing library is shut down before the process ends.
  static ImageCache& Instance();

  const Image* Get(uint16_t id);

 private:
  Loader loader_;
  std::map<uint16_t, Image> images_;
};

}  // namespace fernlite
