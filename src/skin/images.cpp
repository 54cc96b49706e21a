#include "skin/images.h"

#include <array>

#include "platform/seam.h"
#include "platform/text.h"
#include "skin/drawing_platform.h"

namespace fernlite {

ImageType ImageTypeFromName(std::u16string_view name) {
  if (EqualsNoCase(name, u"PNG")) return ImageType::Png;
  if (EqualsNoCase(name, u"JPG")) return ImageType::Jpg;
  return ImageType::Bitmap;
}

namespace {

constexpr std::array<ImageInfo, 16> kImageTable{{
    {152, ImageType::Jpg, 2, 2, 1, false},
    {153, ImageType::Png, 661, 420, 1, true},
    {154, ImageType::Png, 207, 75, 1, true},
    {156, ImageType::Png, 207, 75, 1, true},
    {158, ImageType::Png, 66, 24, 1, true},
    {157, ImageType::Png, 66, 24, 1, true},
    {161, ImageType::Png, 66, 24, 1, true},
    {164, ImageType::Png, 594, 523, 1, false},
    {171, ImageType::Png, 27, 22, 1, true},
    {172, ImageType::Png, 31, 26, 1, true},
    {155, ImageType::Bitmap, 200, 25, 1, false},
    {159, ImageType::Bitmap, 66, 20, 3, false},
    {162, ImageType::Bitmap, 66, 20, 3, false},
    {165, ImageType::Bitmap, 66, 20, 3, false},
    {166, ImageType::Bitmap, 240, 25, 3, false},
    {168, ImageType::Bitmap, 300, 25, 3, false},
}};

}  // namespace

std::span<const ImageInfo> ImageTable() {
  return kImageTable;
}

const ImageInfo* FindImageSpec(uint16_t id, ImageType type) {
  for (const ImageInfo& info : kImageTable) {
    if (info.id == id && info.type == type) return &info;
  }
  return nullptr;
}

std::string ImageResourceName(uint16_t id, ImageType type) {
  const char* ext = type == ImageType::Png ? ".png" : type == ImageType::Jpg ? ".jpg" : ".bmp";
  return std::to_string(id) + ext;
}

Image LoadProgramImage(uint16_t id, ImageType type) {
  return Platform<DrawingPlatform>().load_image(id, type);
}

Image DecodeImage(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return {};
  return Platform<DrawingPlatform>().decode(bytes);
}

Image LoadResourceImage(uint16_t id, ImageType type, const ImageModule* module) {
  return module ? module->Load(id, type) : LoadProgramImage(id, type);
}

ImageCache::ImageCache(Loader loader) : loader_(std::move(loader)) {}

ImageCache& ImageCache::Instance() {
  // The table is read at every load, so a test's replacement reaches the process cache too.
  static ImageCache* cache = new ImageCache(
      [](uint16_t id) { return Platform<DrawingPlatform>().load_cached_bitmap(id); });
  return *cache;
}

const Image* ImageCache::Get(uint16_t id) {
  auto it = images_.find(id);
  if (it == images_.end()) it = images_.emplace(id, loader_ ? loader_(id) : Image()).first;
  return it->second.Empty() ? nullptr : &it->second;
}

}  // namespace fernlite
