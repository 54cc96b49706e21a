// Shows the launcher frame as a translucent dialog with its two buttons over a stand-in for
// the page window, for looking at the skin. Usage: skin_preview [seconds]
#include <gtk/gtk.h>

#include <cstdlib>

#include "skin/translucent.h"
#include "skin/translucent_linux.h"
#include "platform/native_tables.h"

namespace {

using namespace fernlite;

// Stand-in for the guest entry page: an owned window covering the page area only.
class PagePlaceholder : public BackgroundWindow {
 public:
  ~PagePlaceholder() override {
    if (window_) gtk_widget_destroy(window_);
  }
  bool CreateOwned(NativeWindow owner) override {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_window_set_transient_for(GTK_WINDOW(window_), GTK_WINDOW(owner));
    gtk_window_set_default_size(GTK_WINDOW(window_), 661, 420);
    gtk_widget_set_app_paintable(window_, TRUE);
    g_signal_connect(window_, "draw", G_CALLBACK(&PagePlaceholder::Draw), nullptr);
    cairo_rectangle_int_t page{0, 25, 660, 357};
    cairo_region_t* region = cairo_region_create_rectangle(&page);
    gtk_widget_shape_combine_region(window_, region);
    cairo_region_destroy(region);
    gtk_widget_show(window_);
    return true;
  }
  NativeWindow Handle() const override { return window_; }

 private:
  static gboolean Draw(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 25, 0, 382);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.16, 0.28, 0.45);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.05, 0.08, 0.16);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
    cairo_select_font_face(cr, "sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 18);
    cairo_move_to(cr, 250, 210);
    cairo_show_text(cr, "(guest entry page)");
    return TRUE;
  }
  GtkWidget* window_ = nullptr;
};

class PreviewDialog : public CTranslucentDialog {
 public:
  PreviewDialog() : CTranslucentDialog(102, 153, ImageType::Png) {}
  BackgroundWindow* CreateBackground() override { return background_ = new PagePlaceholder; }
  BackgroundWindow* GetBackground() override { return background_; }
  void InitControls() override {
    close_.SetStateImages({172, 172, 172, 172, 0}, ImageType::Png);
    close_.ActionCode = 16;
    AddChild(&close_);
    close_.SetBounds(RectXYWH(627, 0, 31, 26));
    minimize_.SetStateImages({171, 171, 171, 171, 0}, ImageType::Png);
    minimize_.ActionCode = kMinimizeActionCode;
    AddChild(&minimize_);
    minimize_.SetBounds(RectXYWH(595, 0, 27, 22));
  }
  void OnDestroy() override { gtk_main_quit(); }

 private:
  PagePlaceholder* background_ = nullptr;
  CTranslucentButton close_;
  CTranslucentButton minimize_;
};

}  // namespace

int main(int argc, char** argv) {
  fernlite::InstallPlatform();
  gtk_init(&argc, &argv);
  PreviewDialog dialog;
  if (!CreateTranslucentWindow(dialog, u"岚岫奇谭")) return 1;
  if (argc > 1) {
    g_timeout_add_seconds(
        static_cast<guint>(std::atoi(argv[1])),
        [](gpointer) -> gboolean {
          gtk_main_quit();
          return G_SOURCE_REMOVE;
        },
        nullptr);
  }
  gtk_main();
  return 0;
}
