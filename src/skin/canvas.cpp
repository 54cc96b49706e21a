#include "skin/canvas.h"

#include "platform/seam.h"
#include "skin/drawing_platform.h"

namespace fernlite {

namespace {

const DrawingPlatform& Drawing() {
  return Platform<DrawingPlatform>();
}

}  // namespace

Image::Image(std::shared_ptr<NativeImage> native, int width, int height)
    : native_(std::move(native)), width_(native_ ? width : 0), height_(native_ ? height : 0) {}

Image Image::Surface(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  return Drawing().create_surface(width, height);
}

ImagePixels Image::ReadPixels() const {
  if (Empty()) return {};
  return Drawing().read_pixels(*this);
}

Canvas::Canvas(const Image& target)
    : target_(target),
      native_(target.Empty() ? NativeCanvasPtr(nullptr, nullptr) : Drawing().open_canvas(target)) {}

void Canvas::Clear(uint32_t argb) {
  if (native_) Drawing().clear(*native_, argb);
}

void Canvas::FillRect(const Rect& rect, uint32_t argb) {
  if (native_ && !rect.Empty()) Drawing().fill_rect(*native_, rect, argb);
}

void Canvas::ExcludeClip(const Rect& rect) {
  if (native_ && !rect.Empty()) Drawing().exclude_clip(*native_, rect);
}

void Canvas::DrawImage(const Image& image, const Rect& destination) {
  DrawImage(image, ToRectF(destination));
}

void Canvas::DrawImage(const Image& image, const RectF& destination) {
  if (!native_ || image.Empty() || destination.width <= 0 || destination.height <= 0) return;
  const RectF source{0, 0, static_cast<float>(image.Width()), static_cast<float>(image.Height())};
  Drawing().draw_image(*native_, image, source, destination);
}

void Canvas::DrawImage(const Image& image, const Rect& source, const Rect& destination) {
  if (!native_ || image.Empty() || source.Empty() || destination.Empty()) return;
  Drawing().draw_image(*native_, image, ToRectF(source), ToRectF(destination));
}

void Canvas::DrawImage(const Image& image, int x, int y) {
  DrawImage(image, RectXYWH(x, y, image.Width(), image.Height()));
}

void Canvas::DrawString(std::u16string_view text, const RectF& layout, const FontSpec& font,
                        const StringFormat& format, uint32_t argb) {
  if (native_ && !text.empty()) Drawing().draw_string(*native_, text, layout, font, format, argb);
}

void Canvas::Flush() {
  if (native_) Drawing().flush(*native_);
}

void Canvas::CopyImage(const Image& image, const Rect& destination) {
  if (!native_ || image.Empty()) return;
  Drawing().copy_image(
      *native_, image,
      RectF{0, 0, static_cast<float>(image.Width()), static_cast<float>(image.Height())},
      ToRectF(destination));
}

}  // namespace fernlite
