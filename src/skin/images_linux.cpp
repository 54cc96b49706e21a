// Linux side of the image resources: images are embedded with GResource and decoded with
// gdk-pixbuf; text is laid out with pango on a cairo surface over the image's own pixels.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <pango/pangocairo.h>

#include <cmath>

#include "platform/text.h"
#include "skin/images.h"

extern "C" GResource* fernlite_get_resource(void);

namespace fernlite {

namespace {

std::unique_ptr<Image> ImageFromPixbuf(GdkPixbuf* pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
  const bool has_alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < 3 || width <= 0 || height <= 0)
    return nullptr;
  const guchar* data = gdk_pixbuf_read_pixels(pixbuf);
  auto image = std::make_unique<Image>(width, height);
  for (int y = 0; y < height; ++y) {
    const guchar* p = data + static_cast<size_t>(y) * rowstride;
    for (int x = 0; x < width; ++x, p += channels) {
      uint32_t a = has_alpha ? p[3] : 255u;
      image->Set(x, y, Premultiply(a << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]));
    }
  }
  return image;
}

}  // namespace

std::unique_ptr<Image> LoadProgramImage(uint16_t id, ImageType type) {
  std::string path = "/org/fernlite/images/" + ImageResourceName(id, type);
  GBytes* bytes = g_resource_lookup_data(fernlite_get_resource(), path.c_str(),
                                         G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes) return nullptr;
  if (g_bytes_get_size(bytes) == 0) {
    g_bytes_unref(bytes);
    return nullptr;
  }
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  g_bytes_unref(bytes);
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_stream(stream, nullptr, nullptr);
  g_object_unref(stream);
  if (!pixbuf) return nullptr;
  std::unique_ptr<Image> image = ImageFromPixbuf(pixbuf);
  g_object_unref(pixbuf);
  return image;
}

void DrawTextLine(Image& surface, std::u16string_view text, const Rect& layout_rect,
                  const FontSpec& font, uint32_t argb, TextAlign horizontal, TextAlign vertical) {
  if (text.empty() || surface.Empty()) return;
  cairo_surface_t* target = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(surface.Pixels()), CAIRO_FORMAT_ARGB32, surface.Width(),
      surface.Height(), surface.Stride());
  cairo_t* cr = cairo_create(target);

  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, ToUtf8(font.family).c_str());
  pango_font_description_set_size(desc, static_cast<int>(font.size_points * PANGO_SCALE));
  pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  std::string utf8 = ToUtf8(text);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  pango_layout_set_single_paragraph_mode(layout, TRUE);

  int text_w = 0, text_h = 0;
  pango_layout_get_pixel_size(layout, &text_w, &text_h);
  double x = layout_rect.left, y = layout_rect.top;
  if (!(layout_rect.Width() == 0 && layout_rect.Height() == 0)) {
    cairo_rectangle(cr, layout_rect.left, layout_rect.top, layout_rect.Width(),
                    layout_rect.Height());
    cairo_clip(cr);
    auto place = [](TextAlign align, int start, int room, int size) {
      if (align == TextAlign::Center) return start + (room - size) / 2.0;
      if (align == TextAlign::Far) return double(start + room - size);
      return double(start);
    };
    x = place(horizontal, layout_rect.left, layout_rect.Width(), text_w);
    y = place(vertical, layout_rect.top, layout_rect.Height(), text_h);
  }
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
  cairo_move_to(cr, std::floor(x), std::floor(y));
  pango_cairo_show_layout(cr, layout);

  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_flush(target);
  cairo_surface_destroy(target);
}

}  // namespace fernlite
