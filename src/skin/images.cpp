#include "skin/images.h"

#include <algorithm>
#include <array>

#include "platform/text.h"

namespace fernlite {

ImageType ImageTypeFromName(std::u16string_view name) {
  if (EqualsNoCase(name, u"PNG")) return ImageType::Png;
  if (EqualsNoCase(name, u"JPG")) return ImageType::Jpg;
  return ImageType::Bitmap;
}

Image::Image(int width, int height) {
  Reset(width, height);
}

void Image::Reset(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<size_t>(width_) * height_, 0u);
}

namespace {

// x * a / 255, rounded, for x and a in 0..255.
inline uint32_t MulDiv255(uint32_t x, uint32_t a) {
  uint32_t t = x * a + 128;
  return (t + (t >> 8)) >> 8;
}

}  // namespace

uint32_t Premultiply(uint32_t argb) {
  uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  uint32_t r = MulDiv255((argb >> 16) & 0xFF, a);
  uint32_t g = MulDiv255((argb >> 8) & 0xFF, a);
  uint32_t b = MulDiv255(argb & 0xFF, a);
  return a << 24 | r << 16 | g << 8 | b;
}

uint32_t Unpremultiply(uint32_t argb) {
  uint32_t a = argb >> 24;
  if (a == 255 || a == 0) return a == 0 ? 0 : argb;
  auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return a << 24 | un((argb >> 16) & 0xFF) << 16 | un((argb >> 8) & 0xFF) << 8 | un(argb & 0xFF);
}

uint32_t BlendOver(uint32_t dst, uint32_t src) {
  uint32_t sa = src >> 24;
  if (sa == 255) return src;
  if (sa == 0) return dst;
  uint32_t k = 255 - sa;
  // Two channels at a time: the red/blue and alpha/green pairs.
  uint32_t rb = (dst & 0x00FF00FF) * k + 0x00800080;
  rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
  uint32_t ag = ((dst >> 8) & 0x00FF00FF) * k + 0x00800080;
  ag = (ag + ((ag >> 8) & 0x00FF00FF)) & 0xFF00FF00;
  // Premultiplied inputs keep every channel sum within 255.
  return src + (rb | ag);
}

void DrawImageRect(Image& surface, const Image& image, const Rect& src_rect, const Rect& dst_rect) {
  if (image.Empty() || surface.Empty() || src_rect.Empty() || dst_rect.Empty()) return;
  Rect src{std::max(src_rect.left, 0), std::max(src_rect.top, 0),
           std::min(src_rect.right, image.Width()), std::min(src_rect.bottom, image.Height())};
  if (src.Empty()) return;
  int x0 = std::max(dst_rect.left, 0);
  int y0 = std::max(dst_rect.top, 0);
  int x1 = std::min(dst_rect.right, surface.Width());
  int y1 = std::min(dst_rect.bottom, surface.Height());
  if (x0 >= x1 || y0 >= y1) return;

  const int64_t sw = src_rect.Width(), sh = src_rect.Height();
  const int64_t dw = dst_rect.Width(), dh = dst_rect.Height();
  const bool unscaled = sw == dw && sh == dh;

  // Source columns for the clipped destination span, sampled at pixel centres.
  thread_local std::vector<int> columns;
  columns.resize(static_cast<size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    int64_t sx = unscaled ? src_rect.left + (x - dst_rect.left)
                          : src_rect.left + ((2 * int64_t(x - dst_rect.left) + 1) * sw) / (2 * dw);
    columns[static_cast<size_t>(x - x0)] = static_cast<int>(sx);
  }

  for (int y = y0; y < y1; ++y) {
    int64_t sy = unscaled ? src_rect.top + (y - dst_rect.top)
                          : src_rect.top + ((2 * int64_t(y - dst_rect.top) + 1) * sh) / (2 * dh);
    if (sy < src.top || sy >= src.bottom) continue;
    const uint32_t* srow = image.Pixels() + static_cast<size_t>(sy) * image.Width();
    uint32_t* drow = surface.Pixels() + static_cast<size_t>(y) * surface.Width();
    for (int x = x0; x < x1; ++x) {
      int sx = columns[static_cast<size_t>(x - x0)];
      if (sx < src.left || sx >= src.right) continue;
      uint32_t s = srow[sx];
      uint32_t a = s >> 24;
      if (a == 0) continue;
      drow[x] = a == 255 ? s : BlendOver(drow[x], s);
    }
  }
}

void DrawImage(Image& surface, const Image& image, const Rect& dst_rect) {
  DrawImageRect(surface, image, Rect{0, 0, image.Width(), image.Height()}, dst_rect);
}

void DrawImageAt(Image& surface, const Image& image, int x, int y) {
  DrawImage(surface, image, RectXYWH(x, y, image.Width(), image.Height()));
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

std::unique_ptr<Image> LoadResourceImage(uint16_t id, ImageType type, const ImageModule* module) {
  std::unique_ptr<Image> image = module ? module->Load(id, type) : LoadProgramImage(id, type);
  if (image && image->Empty()) return nullptr;
  return image;
}

ImageCache::ImageCache(Loader loader) : loader_(std::move(loader)) {}

ImageCache& ImageCache::Instance() {
  // Lives until the process ends; cached bitmaps are never freed.
  static ImageCache* cache =
      new ImageCache([](uint16_t id) { return LoadResourceImage(id, ImageType::Bitmap); });
  return *cache;
}

const Image* ImageCache::Get(uint16_t id) {
  auto it = images_.find(id);
  if (it == images_.end()) it = images_.emplace(id, loader_ ? loader_(id) : nullptr).first;
  return it->second.get();
}

}  // namespace fernlite
