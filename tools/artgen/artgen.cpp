// Draws the launcher's artwork into res/images at the exact sizes and frame layouts the
// windows expect. Run tools/artgen/generate after changing it; the output is committed, so
// the build itself never needs this program or its fonts.
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

std::string out_dir;
const char* kCjkFont = "WenQuanYi Micro Hei";

struct Rgb {
  double r, g, b;
};
constexpr Rgb kGoldLight{1.00, 0.90, 0.55};
constexpr Rgb kGold{0.86, 0.66, 0.24};
constexpr Rgb kGoldDark{0.50, 0.33, 0.08};

void Source(cairo_t* cr, Rgb c, double a = 1) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

cairo_pattern_t* GoldGradient(double y0, double y1) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgb(p, 0.0, kGoldLight.r, kGoldLight.g, kGoldLight.b);
  cairo_pattern_add_color_stop_rgb(p, 0.45, kGold.r, kGold.g, kGold.b);
  cairo_pattern_add_color_stop_rgb(p, 1.0, kGoldDark.r, kGoldDark.g, kGoldDark.b);
  return p;
}

// Text centred on (cx, cy); px is the font size in pixels.
void Text(cairo_t* cr, const char* utf8, double cx, double cy, double px, Rgb color,
          bool bold = false, double alpha = 1, bool shadow = false) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, kCjkFont);
  pango_font_description_set_absolute_size(desc, px * PANGO_SCALE);
  pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  pango_layout_set_text(layout, utf8, -1);
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  double x = std::round(cx - logical.width / 2.0), y = std::round(cy - logical.height / 2.0);
  if (shadow) {
    cairo_set_source_rgba(cr, 0, 0, 0, 0.75 * alpha);
    cairo_move_to(cr, x + 1, y + 1);
    pango_cairo_show_layout(cr, layout);
  }
  Source(cr, color, alpha);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

std::string PathOf(const char* name) {
  return out_dir + "/" + name;
}

void SavePng(cairo_surface_t* s, const char* name) {
  cairo_surface_flush(s);
  if (cairo_surface_write_to_png(s, PathOf(name).c_str()) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "artgen: cannot write %s\n", name);
    std::exit(1);
  }
}

// Opaque images for the bitmap (24-bit) and JPEG resources go through gdk-pixbuf.
void SaveOpaque(cairo_surface_t* s, const char* name, const char* format) {
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
  guchar* dst = gdk_pixbuf_get_pixels(pb);
  int dst_stride = gdk_pixbuf_get_rowstride(pb);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) {
      guchar* p = dst + y * dst_stride + x * 3;
      p[0] = (row[x] >> 16) & 0xFF;
      p[1] = (row[x] >> 8) & 0xFF;
      p[2] = row[x] & 0xFF;
    }
  }
  GError* error = nullptr;
  bool ok =
      std::string(format) == "jpeg"
          ? gdk_pixbuf_save(pb, PathOf(name).c_str(), "jpeg", &error, "quality", "95", nullptr)
          : gdk_pixbuf_save(pb, PathOf(name).c_str(), format, &error, nullptr);
  if (!ok) {
    std::fprintf(stderr, "artgen: cannot write %s: %s\n", name, error ? error->message : "?");
    std::exit(1);
  }
  g_object_unref(pb);
}

void Draw(int w, int h, cairo_format_t format, const std::function<void(cairo_t*)>& paint,
          const std::function<void(cairo_surface_t*)>& save) {
  cairo_surface_t* s = cairo_image_surface_create(format, w, h);
  cairo_t* cr = cairo_create(s);
  paint(cr);
  cairo_destroy(cr);
  save(s);
  cairo_surface_destroy(s);
}

// A round glossy blue button face.
void BlueOrb(cairo_t* cr, double cx, double cy, double r) {
  cairo_arc(cr, cx, cy + 0.8, r, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill(cr);
  cairo_pattern_t* p = cairo_pattern_create_radial(cx - r * 0.3, cy - r * 0.4, r * 0.1, cx, cy, r);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.55, 0.85, 1.0);
  cairo_pattern_add_color_stop_rgb(p, 0.6, 0.10, 0.45, 0.88);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.03, 0.20, 0.55);
  cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  cairo_set_line_width(cr, 1.2);
  cairo_pattern_t* rim = GoldGradient(cy - r, cy + r);
  cairo_set_source(cr, rim);
  cairo_stroke(cr);
  cairo_pattern_destroy(rim);
  // Gloss on the upper half.
  cairo_save(cr);
  cairo_scale(cr, 1, 0.55);
  cairo_arc(cr, cx, (cy - r * 0.38) / 0.55, r * 0.62, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.28);
  cairo_fill(cr);
}

void LauncherFrame(cairo_t* cr) {
  // Top-right ornament: a gold tab from x 568 to the right edge, y 0 to 25.
  const double x0 = 568, x1 = 660.5, y1 = 25;
  cairo_move_to(cr, x0 - 6, 0);
  cairo_curve_to(cr, x0 + 4, 2, x0 + 2, y1, x0 + 16, y1);
  cairo_line_to(cr, x1, y1);
  cairo_line_to(cr, x1, 0);
  cairo_close_path(cr);
  cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, y1);
  cairo_pattern_add_color_stop_rgb(body, 0, 0.20, 0.12, 0.04);
  cairo_pattern_add_color_stop_rgb(body, 1, 0.08, 0.05, 0.02);
  cairo_set_source(cr, body);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(body);
  cairo_pattern_t* gold = GoldGradient(0, y1);
  cairo_set_source(cr, gold);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  // Inner filigree line and a scroll where the tab meets the page.
  cairo_move_to(cr, x0 + 2, 3);
  cairo_curve_to(cr, x0 + 9, 5, x0 + 8, y1 - 4, x0 + 19, y1 - 4);
  cairo_line_to(cr, x1, y1 - 4);
  cairo_set_line_width(cr, 0.8);
  cairo_stroke(cr);
  cairo_arc(cr, x0 + 7, y1 - 7, 3, 0, 2 * M_PI);
  cairo_fill(cr);
  for (int i = 0; i < 3; ++i) {
    cairo_arc(cr, x0 + 14 + i * 5, 5, 1.2, 0, 2 * M_PI);
    cairo_fill(cr);
  }
  cairo_pattern_destroy(gold);
  // The glyphs the buttons sit on (the buttons repaint them in their own states).
  BlueOrb(cr, 608.5, 10.5, 8.5);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 604, 10, 9, 2);
  cairo_fill(cr);
  BlueOrb(cr, 642.5, 12.5, 10);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, 638.5, 8.5);
  cairo_line_to(cr, 646.5, 16.5);
  cairo_move_to(cr, 646.5, 8.5);
  cairo_line_to(cr, 638.5, 16.5);
  cairo_stroke(cr);

  // Health advisory along the bottom, on a dark band edged in gold.
  RoundedRect(cr, 20.5, 388.5, 620, 18, 9);
  cairo_set_source_rgba(cr, 0.05, 0.03, 0.01, 0.78);
  cairo_fill_preserve(cr);
  Source(cr, kGold, 0.9);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  Text(cr,
       "抵制不良游戏，拒绝盗版游戏。注意自我保护，谨防受骗上当。"
       "适度游戏益脑，沉迷游戏伤身。合理安排时间，享受健康生活。",
       330.5, 397.5, 10, kGoldLight);
}

void Glyph171(cairo_t* cr) {
  BlueOrb(cr, 13.5, 10.5, 9);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 8.5, 10, 10, 2.2);
  cairo_fill(cr);
}

void Glyph172(cairo_t* cr) {
  BlueOrb(cr, 15.5, 12.5, 11);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 2.4);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, 11, 8);
  cairo_line_to(cr, 20, 17);
  cairo_move_to(cr, 20, 8);
  cairo_line_to(cr, 11, 17);
  cairo_stroke(cr);
}

// Speech bubble; the pointer sits about 24 pixels down the left or right edge.
void Bubble(cairo_t* cr, bool pointer_left) {
  const double bw = 196, by = 1.5, bh = 71, r = 10;
  cairo_save(cr);
  if (!pointer_left) {
    cairo_translate(cr, 207, 0);
    cairo_scale(cr, -1, 1);
  }
  const double left = 9.5;
  cairo_move_to(cr, left + r, by);
  cairo_line_to(cr, left + bw - r, by);
  cairo_arc(cr, left + bw - r, by + r, r, -M_PI / 2, 0);
  cairo_arc(cr, left + bw - r, by + bh - r, r, 0, M_PI / 2);
  cairo_arc(cr, left + r, by + bh - r, r, M_PI / 2, M_PI);
  cairo_line_to(cr, left, 30);
  cairo_line_to(cr, 1, 24);
  cairo_line_to(cr, left, 18);
  cairo_arc(cr, left + r, by + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
  cairo_restore(cr);
  cairo_pattern_t* fill = cairo_pattern_create_linear(0, 0, 0, 75);
  cairo_pattern_add_color_stop_rgb(fill, 0, 1.0, 0.98, 0.90);
  cairo_pattern_add_color_stop_rgb(fill, 1, 0.98, 0.88, 0.66);
  cairo_set_source(cr, fill);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(fill);
  cairo_pattern_t* gold = GoldGradient(0, 75);
  cairo_set_source(cr, gold);
  cairo_set_line_width(cr, 1.6);
  cairo_stroke(cr);
  cairo_pattern_destroy(gold);
  double cx = pointer_left ? 108 : 100;
  Text(cr, "每日登录领元宝，神装大礼送不停！", cx, 19, 12, Rgb{0.62, 0.10, 0.04}, true);
  // A small ingot beside the button area.
  double ix = pointer_left ? 30 : 22;
  cairo_pattern_t* ingot = GoldGradient(38, 56);
  cairo_move_to(cr, ix, 44);
  cairo_curve_to(cr, ix + 4, 56, ix + 28, 56, ix + 32, 44);
  cairo_curve_to(cr, ix + 26, 48, ix + 6, 48, ix, 44);
  cairo_close_path(cr);
  cairo_set_source(cr, ingot);
  cairo_fill(cr);
  cairo_arc(cr, ix + 16, 44, 7, M_PI, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(ingot);
  Text(cr, "尽在岚岫奇谭", ix + 50 + 12, 47, 10, Rgb{0.45, 0.28, 0.08});
}

void GotIt(cairo_t* cr, int state) {
  RoundedRect(cr, 0.5, 0.5, 65, 23, 5);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 24);
  double lift = state == 1 ? 0.08 : state == 2 ? -0.10 : 0;
  cairo_pattern_add_color_stop_rgb(p, 0, 1.0, 0.72 + lift, 0.25 + lift);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.85 + lift, 0.38 + lift, 0.05);
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  cairo_set_source_rgb(cr, 0.55, 0.25, 0.02);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  double dy = state == 2 ? 1 : 0;
  Text(cr, "我知道了", 33, 12 + dy, 12, Rgb{1, 1, 1}, true, 1, true);
}

void SkinFrame(cairo_t* cr) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 37);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.10, 0.10, 0.11);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.0, 0.0, 0.0);
  cairo_rectangle(cr, 0, 0, 594, 37);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  cairo_set_source_rgb(cr, 0.22, 0.22, 0.24);
  cairo_rectangle(cr, 0, 37, 594, 1);
  cairo_fill(cr);
}

// Three 22 x 20 frames: grey on black, white on dark blue, white on blue.
void SystemStrip(cairo_t* cr, const std::function<void(cairo_t*)>& glyph) {
  const Rgb backs[3] = {{0, 0, 0}, {0.05, 0.16, 0.38}, {0.10, 0.36, 0.78}};
  for (int f = 0; f < 3; ++f) {
    cairo_save(cr);
    cairo_translate(cr, f * 22, 0);
    cairo_rectangle(cr, 0, 0, 22, 20);
    Source(cr, backs[f]);
    cairo_fill(cr);
    if (f == 0)
      cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
    else
      cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.6);
    glyph(cr);
    cairo_restore(cr);
  }
}

void CaptionStrip(cairo_t* cr, int frame_w, const std::function<void(cairo_t*)>& icon,
                  const char* label) {
  for (int f = 0; f < 3; ++f) {
    cairo_save(cr);
    cairo_translate(cr, f * frame_w, 0);
    cairo_rectangle(cr, 0, 0, frame_w, 25);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    if (f > 0) {
      RoundedRect(cr, 1.5, 2.5, frame_w - 3, 20, 4);
      cairo_set_source_rgb(cr, f == 1 ? 0.16 : 0.28, f == 1 ? 0.12 : 0.18, 0.04);
      cairo_fill_preserve(cr);
      Source(cr, kGold, f == 1 ? 0.6 : 0.9);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    }
    double dy = f == 2 ? 1 : 0;
    cairo_translate(cr, 0, dy);
    icon(cr);
    Text(cr, label, 18 + (frame_w - 18) / 2.0, 12.5, 12,
         f == 0 ? Rgb{0.95, 0.82, 0.45} : kGoldLight);
    cairo_restore(cr);
  }
}

void Ingot(cairo_t* cr) {
  cairo_pattern_t* g = GoldGradient(6, 20);
  cairo_move_to(cr, 3, 12);
  cairo_curve_to(cr, 5, 20, 17, 20, 19, 12);
  cairo_curve_to(cr, 15, 15, 7, 15, 3, 12);
  cairo_close_path(cr);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_arc(cr, 11, 12.5, 4.5, M_PI, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

void RedBadge(cairo_t* cr) {
  cairo_arc(cr, 11, 12.5, 7, 0, 2 * M_PI);
  cairo_pattern_t* p = cairo_pattern_create_radial(9, 10, 1, 11, 12.5, 7);
  cairo_pattern_add_color_stop_rgb(p, 0, 1, 0.45, 0.35);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.70, 0.05, 0.04);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 1.6);
  cairo_move_to(cr, 7.5, 12.5);
  cairo_line_to(cr, 10, 15);
  cairo_line_to(cr, 14.5, 9.5);
  cairo_stroke(cr);
}

void AppIcon(cairo_t* cr) {
  cairo_arc(cr, 24, 24, 22, 0, 2 * M_PI);
  cairo_pattern_t* p = cairo_pattern_create_radial(18, 16, 2, 24, 24, 22);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.30, 0.55, 0.95);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.04, 0.12, 0.35);
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  cairo_pattern_t* g = GoldGradient(2, 46);
  cairo_set_source(cr, g);
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  cairo_pattern_destroy(g);
  Text(cr, "岚", 24, 24, 26, kGoldLight, true, 1, true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: artgen <output-dir>\n");
    return 2;
  }
  out_dir = argv[1];
  auto png = [](const char* name) { return [name](cairo_surface_t* s) { SavePng(s, name); }; };
  auto bmp = [](const char* name) {
    return [name](cairo_surface_t* s) { SaveOpaque(s, name, "bmp"); };
  };

  Draw(
      2, 2, CAIRO_FORMAT_RGB24,
      [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.10, 0.12, 0.20);
        cairo_paint(cr);
      },
      [](cairo_surface_t* s) { SaveOpaque(s, "152.jpg", "jpeg"); });
  Draw(661, 420, CAIRO_FORMAT_ARGB32, LauncherFrame, png("153.png"));
  Draw(
      207, 75, CAIRO_FORMAT_ARGB32, [](cairo_t* cr) { Bubble(cr, true); }, png("154.png"));
  Draw(
      207, 75, CAIRO_FORMAT_ARGB32, [](cairo_t* cr) { Bubble(cr, false); }, png("156.png"));
  Draw(
      66, 24, CAIRO_FORMAT_ARGB32, [](cairo_t* cr) { GotIt(cr, 0); }, png("158.png"));
  Draw(
      66, 24, CAIRO_FORMAT_ARGB32, [](cairo_t* cr) { GotIt(cr, 1); }, png("157.png"));
  Draw(
      66, 24, CAIRO_FORMAT_ARGB32, [](cairo_t* cr) { GotIt(cr, 2); }, png("161.png"));
  Draw(594, 523, CAIRO_FORMAT_RGB24, SkinFrame, png("164.png"));
  Draw(27, 22, CAIRO_FORMAT_ARGB32, Glyph171, png("171.png"));
  Draw(31, 26, CAIRO_FORMAT_ARGB32, Glyph172, png("172.png"));
  Draw(48, 48, CAIRO_FORMAT_ARGB32, AppIcon, png("127.png"));

  // The name plate sits 5 px below the caption's top: it continues the caption's gradient, so
  // the name reads as written on the caption.
  Draw(
      200, 25, CAIRO_FORMAT_RGB24,
      [](cairo_t* cr) {
        cairo_pattern_t* p = cairo_pattern_create_linear(0, -5, 0, 32);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.10, 0.10, 0.11);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.0, 0.0, 0.0);
        cairo_set_source(cr, p);
        cairo_paint(cr);
        cairo_pattern_destroy(p);
      },
      bmp("155.bmp"));
  Draw(
      66, 20, CAIRO_FORMAT_RGB24,
      [](cairo_t* cr) {
        SystemStrip(cr, [](cairo_t* c) {
          cairo_move_to(c, 7, 6);
          cairo_line_to(c, 15, 14);
          cairo_move_to(c, 15, 6);
          cairo_line_to(c, 7, 14);
          cairo_stroke(c);
        });
      },
      bmp("159.bmp"));
  Draw(
      66, 20, CAIRO_FORMAT_RGB24,
      [](cairo_t* cr) {
        SystemStrip(cr, [](cairo_t* c) {
          cairo_rectangle(c, 6.5, 5.5, 9, 9);
          cairo_stroke(c);
          cairo_rectangle(c, 6.5, 5.5, 9, 1.5);
          cairo_fill(c);
        });
      },
      bmp("162.bmp"));
  Draw(
      66, 20, CAIRO_FORMAT_RGB24,
      [](cairo_t* cr) {
        SystemStrip(cr, [](cairo_t* c) {
          cairo_rectangle(c, 6, 12, 10, 2);
          cairo_fill(c);
        });
      },
      bmp("165.bmp"));
  Draw(
      240, 25, CAIRO_FORMAT_RGB24, [](cairo_t* cr) { CaptionStrip(cr, 80, Ingot, "快速充值"); },
      bmp("166.bmp"));
  Draw(
      300, 25, CAIRO_FORMAT_RGB24,
      [](cairo_t* cr) { CaptionStrip(cr, 100, RedBadge, "绑定游客账号"); }, bmp("168.bmp"));
  return 0;
}
