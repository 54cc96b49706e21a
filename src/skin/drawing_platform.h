// What the skin's images and drawing need from the system: decoding, surfaces, and the
// drawing library's operations (canvas.h says what each one does).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "skin/canvas.h"
#include "skin/images.h"

namespace fernlite {

struct DrawingPlatform {
  static constexpr const char* kUnit = "drawing";
  // An image resource of the program; empty when it is missing or cannot be decoded.
  std::function<Image(uint16_t id, ImageType type)> load_image;
  // A bitmap resource of the program's main module, for the process-wide cache (Windows makes
  // those with another call than load_image's); empty when it is missing.
  std::function<Image(uint16_t id)> load_cached_bitmap;
  // An image from the bytes of a PNG, JPEG or BMP file; empty when they do not decode.
  std::function<Image(std::span<const uint8_t> bytes)> decode;
  std::function<Image(int width, int height)> create_surface;
  std::function<ImagePixels(const Image& image)> read_pixels;

  // Null when the image cannot be drawn on.
  std::function<NativeCanvasPtr(const Image& target)> open_canvas;
  std::function<void(NativeCanvas& canvas, uint32_t argb)> clear;
  std::function<void(NativeCanvas& canvas, const Rect& rect, uint32_t argb)> fill_rect;
  std::function<void(NativeCanvas& canvas, const Rect& rect)> exclude_clip;
  // A source rectangle of the image (pixels) scaled into the destination rectangle.
  std::function<void(NativeCanvas& canvas, const Image& image, const RectF& source,
                     const RectF& destination)>
      draw_image;
  // The same replacing the pixels under it instead of blending over them.
  std::function<void(NativeCanvas& canvas, const Image& image, const RectF& source,
                     const RectF& destination)>
      copy_image;
  std::function<void(NativeCanvas& canvas, std::u16string_view text, const RectF& layout,
                     const FontSpec& font, const StringFormat& format, uint32_t argb)>
      draw_string;
  std::function<void(NativeCanvas& canvas)> flush;
};

const DrawingPlatform& NativeDrawingPlatform();

}  // namespace fernlite
