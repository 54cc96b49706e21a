// Image resources and the pixel operations the skinned windows draw with.
//
// Every image is kept as premultiplied ARGB32 (alpha << 24 | red << 16 | green << 8 | blue,
// colour channels already multiplied by alpha), rows top-down, stride = width * 4. That is
// the byte layout of a cairo ARGB32 surface and of a 32-bit layered-window section, so one
// composed buffer can be handed to either presenter without a conversion pass.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

enum class ImageType { Bitmap, Png, Jpg };

// "PNG", "JPG" (case-insensitive); anything else is the bitmap type.
ImageType ImageTypeFromName(std::u16string_view name);

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const Rect&) const = default;
};

inline Rect RectXYWH(int x, int y, int w, int h) {
  return Rect{x, y, x + w, y + h};
}

class Image {
 public:
  Image() = default;
  Image(int width, int height);  // fully transparent

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return width_ * 4; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  uint32_t* Pixels() { return pixels_.data(); }
  const uint32_t* Pixels() const { return pixels_.data(); }
  uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  void Set(int x, int y, uint32_t argb) { pixels_[static_cast<size_t>(y) * width_ + x] = argb; }

  // Resizes (if needed) and sets every pixel to transparent black.
  void Reset(int width, int height);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

// Straight (non-premultiplied) ARGB to premultiplied, and back.
uint32_t Premultiply(uint32_t argb);
uint32_t Unpremultiply(uint32_t argb);

// Source-over of one premultiplied pixel onto another.
uint32_t BlendOver(uint32_t dst, uint32_t src);

// Draws the whole image scaled into dst_rect (nearest pixel, no smoothing), source over,
// clipped to the surface.
void DrawImage(Image& surface, const Image& image, const Rect& dst_rect);
// Draws src_rect of the image scaled into dst_rect, in pixel units.
void DrawImageRect(Image& surface, const Image& image, const Rect& src_rect, const Rect& dst_rect);
// Draws the whole image unscaled with its top-left corner at (x, y).
void DrawImageAt(Image& surface, const Image& image, int x, int y);

struct FontSpec {
  std::u16string family = u"Arial";
  double size_points = 12;
  bool bold = false;
};

enum class TextAlign { Near = 0, Center = 1, Far = 2 };

// Draws one line of text into layout (no wrapping). A layout of zero width and height starts
// the text at its top-left corner without clipping. Platform side: pango/cairo or GDI+;
// a missing family falls back to the generic sans-serif one.
void DrawTextLine(Image& surface, std::u16string_view text, const Rect& layout,
                  const FontSpec& font, uint32_t argb, TextAlign horizontal, TextAlign vertical);

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
  virtual std::unique_ptr<Image> Load(uint16_t id, ImageType type) const = 0;
};

// Decodes an image resource; none when it is missing or cannot be decoded.
std::unique_ptr<Image> LoadResourceImage(uint16_t id, ImageType type,
                                         const ImageModule* module = nullptr);

// Platform side: the program's own resources.
std::unique_ptr<Image> LoadProgramImage(uint16_t id, ImageType type);

// Bitmaps of the program, decoded once and kept until the process ends. A failed load is
// stored as well (as null), so a missing bitmap is not retried.
class ImageCache {
 public:
  using Loader = std::function<std::unique_ptr<Image>(uint16_t id)>;

  explicit ImageCache(Loader loader);
  static ImageCache& Instance();

  const Image* Get(uint16_t id);

 private:
  Loader loader_;
  std::map<uint16_t, std::unique_ptr<Image>> images_;
};

}  // namespace fernlite
