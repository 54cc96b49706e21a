// Linux side of the skin's drawing: images are premultiplied ARGB32 cairo image surfaces,
// decoded by cairo (PNG) or gdk-pixbuf (the rest), the program's own from its GResource bundle,
// drawn with cairo and laid out with pango.
#include "skin/drawing_linux.h"

#include <gdk/gdk.h>
#include <gio/gio.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/text.h"
#include "skin/drawing_platform.h"
#include "skin/images.h"

extern "C" GResource* fernlite_get_resource(void);

namespace fernlite {

struct NativeImage {
  explicit NativeImage(cairo_surface_t* surface) : surface(surface) {}
  ~NativeImage() { cairo_surface_destroy(surface); }
  NativeImage(const NativeImage&) = delete;
  NativeImage& operator=(const NativeImage&) = delete;
  cairo_surface_t* surface;
};

struct NativeCanvas {
  cairo_t* cr;
};

namespace {

Image WrapSurface(cairo_surface_t* surface) {
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return {};
  }
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  return Image(std::make_shared<NativeImage>(surface), width, height);
}

Image CreateSurface(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  // A new image surface is cleared to transparent black.
  return WrapSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
}

// A new ARGB32 image holding what `set_source` makes the source, copied as it is.
template <typename SetSource>
Image PaintedImage(int width, int height, SetSource set_source) {
  Image image = CreateSurface(width, height);
  if (image.Empty()) return {};
  cairo_t* cr = cairo_create(CairoSurface(image));
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  set_source(cr);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(CairoSurface(image));
  return image;
}

bool IsPng(std::span<const uint8_t> bytes) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= sizeof kSignature &&
         std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

cairo_status_t ReadPngBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* rest = static_cast<std::span<const uint8_t>*>(closure);
  if (length > rest->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, rest->data(), length);
  *rest = rest->subspan(length);
  return CAIRO_STATUS_SUCCESS;
}

// cairo reads a PNG straight into premultiplied pixels; the pixbuf route converts every pixel
// a second time, and the skin's background is decoded on the way to the first frame.
Image DecodePng(std::span<const uint8_t> bytes) {
  std::span<const uint8_t> rest = bytes;
  cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(&ReadPngBytes, &rest);
  if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(decoded);
    return {};
  }
  if (cairo_image_surface_get_format(decoded) == CAIRO_FORMAT_ARGB32) return WrapSurface(decoded);
  // An opaque picture comes as RGB24 (its fourth byte undefined): drawn into ARGB32 it is
  // opaque everywhere, as everything else here expects.
  Image image =
      PaintedImage(cairo_image_surface_get_width(decoded), cairo_image_surface_get_height(decoded),
                   [decoded](cairo_t* cr) { cairo_set_source_surface(cr, decoded, 0, 0); });
  cairo_surface_destroy(decoded);
  return image;
}

Image Decode(std::span<const uint8_t> bytes) {
  if (IsPng(bytes)) return DecodePng(bytes);
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool ok = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr);
  // Closed whatever happened, or the loader complains when it goes.
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  Image image = ok ? ImageFromPixbuf(gdk_pixbuf_loader_get_pixbuf(loader)) : Image();
  g_object_unref(loader);
  return image;
}

Image LoadImage(uint16_t id, ImageType type) {
  const std::string path = "/org/fernlite/images/" + ImageResourceName(id, type);
  GBytes* bytes = g_resource_lookup_data(fernlite_get_resource(), path.c_str(),
                                         G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(bytes, &size));
  Image image = size ? Decode(std::span<const uint8_t>(data, size)) : Image();
  g_bytes_unref(bytes);
  return image;
}

Image LoadCachedBitmap(uint16_t id) {
  return LoadImage(id, ImageType::Bitmap);
}

ImagePixels ReadPixels(const Image& image) {
  cairo_surface_t* surface = CairoSurface(image);
  if (!surface) return {};
  cairo_surface_flush(surface);
  ImagePixels pixels{image.Width(), image.Height(), {}};
  pixels.argb.resize(static_cast<size_t>(pixels.width) * pixels.height);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < pixels.height; ++y)
    std::memcpy(&pixels.argb[static_cast<size_t>(y) * pixels.width], data + y * stride,
                static_cast<size_t>(pixels.width) * 4);
  return pixels;
}

NativeCanvasPtr OpenCanvas(const Image& target) {
  cairo_surface_t* surface = CairoSurface(target);
  if (!surface) return NativeCanvasPtr(nullptr, nullptr);
  cairo_t* cr = cairo_create(surface);
  // No smoothing: edges land on whole pixels, as the skin's images were drawn for.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  return NativeCanvasPtr(new NativeCanvas{cr}, [](NativeCanvas* canvas) {
    cairo_surface_flush(cairo_get_target(canvas->cr));
    cairo_destroy(canvas->cr);
    delete canvas;
  });
}

void SetColour(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
}

void Clear(NativeCanvas& canvas, uint32_t argb) {
  cairo_save(canvas.cr);
  cairo_set_operator(canvas.cr, CAIRO_OPERATOR_SOURCE);
  SetColour(canvas.cr, argb);
  cairo_paint(canvas.cr);
  cairo_restore(canvas.cr);
}

void FillRect(NativeCanvas& canvas, const Rect& rect, uint32_t argb) {
  SetColour(canvas.cr, argb);
  cairo_rectangle(canvas.cr, rect.left, rect.top, rect.Width(), rect.Height());
  cairo_fill(canvas.cr);
}

void ExcludeClip(NativeCanvas& canvas, const Rect& rect) {
  cairo_t* cr = canvas.cr;
  cairo_surface_t* target = cairo_get_target(cr);
  cairo_new_path(cr);
  cairo_rectangle(cr, 0, 0, cairo_image_surface_get_width(target),
                  cairo_image_surface_get_height(target));
  cairo_rectangle(cr, rect.left, rect.top, rect.Width(), rect.Height());
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void DrawImage(NativeCanvas& canvas, const Image& image, const RectF& source,
               const RectF& destination) {
  cairo_surface_t* surface = CairoSurface(image);
  if (!surface || source.width <= 0 || source.height <= 0) return;
  cairo_t* cr = canvas.cr;
  cairo_save(cr);
  cairo_rectangle(cr, destination.x, destination.y, destination.width, destination.height);
  cairo_clip(cr);
  cairo_translate(cr, destination.x, destination.y);
  cairo_scale(cr, destination.width / source.width, destination.height / source.height);
  cairo_set_source_surface(cr, surface, -source.x, -source.y);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

void CopyImage(NativeCanvas& canvas, const Image& image, const RectF& source,
               const RectF& destination) {
  cairo_save(canvas.cr);
  cairo_set_operator(canvas.cr, CAIRO_OPERATOR_SOURCE);
  DrawImage(canvas, image, source, destination);
  cairo_restore(canvas.cr);
}

double Place(TextAlign align, double start, double room, double size) {
  if (align == TextAlign::Center) return start + (room - size) / 2;
  if (align == TextAlign::Far) return start + room - size;
  return start;
}

void DrawString(NativeCanvas& canvas, std::u16string_view text, const RectF& rect,
                const FontSpec& font, const StringFormat& format, uint32_t argb) {
  cairo_t* cr = canvas.cr;
  PangoLayout* layout = pango_cairo_create_layout(cr);
  // Points at 96 dots per inch, as on the other build's surfaces.
  pango_cairo_context_set_resolution(pango_layout_get_context(layout), 96);
  pango_layout_context_changed(layout);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, (ToUtf8(font.family) + ",sans-serif").c_str());
  pango_font_description_set_size(desc, static_cast<int>(font.size_points * PANGO_SCALE));
  pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  const std::string utf8 = ToUtf8(text);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));

  const bool boxed = rect.width != 0 || rect.height != 0;
  if (boxed && rect.width > 0 && !(format.flags & kStringFormatNoWrap)) {
    pango_layout_set_width(layout, static_cast<int>(rect.width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }

  struct Line {
    PangoLayoutLine* line;
    PangoRectangle extents;
    int baseline;
  };
  std::vector<Line> lines;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    Line line{pango_layout_iter_get_line_readonly(iter), {}, pango_layout_iter_get_baseline(iter)};
    pango_layout_iter_get_line_extents(iter, nullptr, &line.extents);
    lines.push_back(line);
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  // With the line limit only lines wholly inside the rectangle are shown.
  size_t shown = lines.size();
  if (boxed && (format.flags & kStringFormatLineLimit)) {
    shown = 0;
    while (shown < lines.size() &&
           lines[shown].extents.y + lines[shown].extents.height <= rect.height * PANGO_SCALE)
      ++shown;
  }

  if (shown > 0) {
    cairo_save(cr);
    if (boxed) {
      cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
      cairo_clip(cr);
    }
    SetColour(cr, argb);
    const Line& last = lines[shown - 1];
    const double text_height =
        static_cast<double>(last.extents.y + last.extents.height) / PANGO_SCALE;
    const double top = Place(format.vertical, rect.y, rect.height, text_height);
    for (size_t i = 0; i < shown; ++i) {
      const double width = static_cast<double>(lines[i].extents.width) / PANGO_SCALE;
      const double x = Place(format.horizontal, rect.x, rect.width, width);
      const double baseline = static_cast<double>(lines[i].baseline) / PANGO_SCALE;
      cairo_move_to(cr, std::floor(x), std::floor(top) + baseline);
      pango_cairo_show_layout_line(cr, lines[i].line);
    }
    cairo_restore(cr);
  }
  g_object_unref(layout);
}

void Flush(NativeCanvas& canvas) {
  cairo_surface_flush(cairo_get_target(canvas.cr));
}

}  // namespace

cairo_surface_t* CairoSurface(const Image& image) {
  return image.Native() ? image.Native()->surface : nullptr;
}

Image ImageFromPixbuf(GdkPixbuf* pixbuf) {
  if (!pixbuf) return {};
  return PaintedImage(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf),
                      [pixbuf](cairo_t* cr) { gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0); });
}

const DrawingPlatform& NativeDrawingPlatform() {
  static const DrawingPlatform& table = *new DrawingPlatform{
      &LoadImage, &LoadCachedBitmap, &Decode,    &CreateSurface, &ReadPixels, &OpenCanvas, &Clear,
      &FillRect,  &ExcludeClip,      &DrawImage, &CopyImage,     &DrawString, &Flush,
  };
  return table;
}

}  // namespace fernlite
