// What the skinned windows draw with: images, off-screen surfaces and the few drawing
// operations the skin needs. The pixels belong to the platform's drawing library (a cairo
// image surface, a GDI+ bitmap); this side holds handles and says what to draw, so the same
// code draws on both builds.
//
// Colours handed to the operations are straight ARGB (alpha << 24 | red << 16 | green << 8 |
// blue). Pixels read back are premultiplied ARGB32, the layout of a layered-window section
// and of a cairo image surface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

// Sums of coordinates saturate at the ends of the int range: a rectangle built from a hostile
// size stays a (huge) rectangle instead of wrapping around.
constexpr int SaturatedInt(long long value) {
  constexpr long long kMax = 2147483647LL, kMin = -2147483647LL - 1;
  return static_cast<int>(value > kMax ? kMax : value < kMin ? kMin : value);
}

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  constexpr int Width() const { return SaturatedInt(static_cast<long long>(right) - left); }
  constexpr int Height() const { return SaturatedInt(static_cast<long long>(bottom) - top); }
  constexpr bool Empty() const { return right <= left || bottom <= top; }
  constexpr bool Contains(int x, int y) const {
    return x >= left && x < right && y >= top && y < bottom;
  }
  constexpr bool Intersects(const Rect& other) const {
    return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
  }
  bool operator==(const Rect&) const = default;
};

constexpr Rect RectXYWH(int x, int y, int w, int h) {
  return Rect{x, y, SaturatedInt(static_cast<long long>(x) + w),
              SaturatedInt(static_cast<long long>(y) + h)};
}

struct RectF {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  bool operator==(const RectF&) const = default;
};

constexpr RectF ToRectF(const Rect& rect) {
  return RectF{static_cast<float>(rect.left), static_cast<float>(rect.top),
               static_cast<float>(rect.Width()), static_cast<float>(rect.Height())};
}

// The platform's pixels and drawing context; complete only on the platform side.
struct NativeImage;
struct NativeCanvas;
using NativeCanvasPtr = std::unique_ptr<NativeCanvas, void (*)(NativeCanvas*)>;

// A copy of an image's pixels: premultiplied ARGB32, rows top-down, no padding.
struct ImagePixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;

  uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

// A decoded image or a drawing surface. Copies share the pixels; an empty image is "none".
class Image {
 public:
  Image() = default;
  // For the platform side: pixels it made, of this size.
  Image(std::shared_ptr<NativeImage> native, int width, int height);

  // A fully transparent surface to draw on; empty when the size is not positive or the
  // drawing library cannot make it.
  static Image Surface(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return !native_; }
  explicit operator bool() const { return !Empty(); }

  ImagePixels ReadPixels() const;

  NativeImage* Native() const { return native_.get(); }

 private:
  std::shared_ptr<NativeImage> native_;
  int width_ = 0;
  int height_ = 0;
};

struct FontSpec {
  std::u16string family = u"Arial";
  double size_points = 12;
  bool bold = false;
};

enum class TextAlign { Near = 0, Center = 1, Far = 2 };

// String-format flags of the drawing library that the skin uses.
inline constexpr uint32_t kStringFormatNoWrap = 0x1000;
inline constexpr uint32_t kStringFormatLineLimit = 0x2000;

struct StringFormat {
  uint32_t flags = 0;
  TextAlign horizontal = TextAlign::Near;
  TextAlign vertical = TextAlign::Near;
};

// Drawing onto a surface, source over, with no smoothing: images are scaled by the nearest
// pixel. Operations on an empty image, or on a canvas whose target could not take drawing,
// draw nothing. Read the target back once the canvas is gone (or after Flush).
class Canvas {
 public:
  explicit Canvas(const Image& target);
  ~Canvas() = default;
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool Valid() const { return native_ != nullptr; }

  // Sets every pixel inside the clip to the colour (transparent black by default).
  void Clear(uint32_t argb = 0);
  void FillRect(const Rect& rect, uint32_t argb);
  // Nothing drawn afterwards reaches this rectangle.
  void ExcludeClip(const Rect& rect);

  // The whole image scaled into the rectangle.
  void DrawImage(const Image& image, const Rect& destination);
  void DrawImage(const Image& image, const RectF& destination);
  // A source rectangle of the image (pixels) scaled into the destination rectangle.
  void DrawImage(const Image& image, const Rect& source, const Rect& destination);
  // The whole image, unscaled, its top-left corner at the point.
  void DrawImage(const Image& image, int x, int y);
  // The whole image scaled into the rectangle, replacing what is there (alpha included).
  void CopyImage(const Image& image, const Rect& destination);

  // Text laid out in the rectangle; a rectangle of zero width and height starts the text at
  // its corner without clipping. A missing family falls back to the generic sans-serif one.
  void DrawString(std::u16string_view text, const RectF& layout, const FontSpec& font,
                  const StringFormat& format, uint32_t argb);

  void Flush();

 private:
  Image target_;  // kept for as long as the library draws on it
  NativeCanvasPtr native_;
};

}  // namespace fernlite
