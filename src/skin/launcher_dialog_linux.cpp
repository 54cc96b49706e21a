// The launcher dialog's GTK finishing touches: focus and, when the skin cannot be drawn, an
// ordinary framed window painted from the plain background image.
#include <gtk/gtk.h>

#include <string>

#include "game/standard_dialog_linux.h"
#include "skin/launcher_dialog.h"
#include "skin/drawing_linux.h"
#include "skin/launcher_dialog_linux.h"
#include "skin/translucent_linux.h"

extern "C" GResource* fernlite_get_resource(void);

namespace fernlite {

namespace {

// Icon 127 of the program's resources, for the task bar and the window switcher.
void SetLauncherIcon(GtkWindow* window) {
  const std::string path = "/org/fernlite/images/" + std::to_string(kLauncherIcon) + ".png";
  GInputStream* stream = g_resource_open_stream(fernlite_get_resource(), path.c_str(),
                                                G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!stream) return;
  if (GdkPixbuf* icon = gdk_pixbuf_new_from_stream(stream, nullptr, nullptr)) {
    gtk_window_set_icon(window, icon);
    g_object_unref(icon);
  }
  g_object_unref(stream);
}

gboolean PaintJpgMode(GtkWidget*, cairo_t* cr, gpointer dialog_ptr) {
  const auto* dialog = static_cast<const CFernliteDlg*>(dialog_ptr);
  if (!dialog->PaintImage()) return FALSE;
  const Image surface = Image::Surface(kJpgPaintRect.right, kJpgPaintRect.bottom);
  {
    Canvas canvas(surface);
    dialog->PaintJpgMode(canvas);
  }
  cairo_surface_t* painted = CairoSurface(surface);
  if (!painted) return FALSE;
  cairo_save(cr);
  cairo_set_source_surface(cr, painted, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  return TRUE;  // instead of the layer
}

void FinishPlatformWindow(CFernliteDlg& dialog) {
  GtkWidget* window = static_cast<GtkWidget*>(dialog.Host()->Handle());
  if (dialog.Mode() == LauncherMode::kJpg) {
    // A framed window of fixed size; there are no translucent buttons to route input to.
    gtk_window_set_decorated(GTK_WINDOW(window), TRUE);
    gtk_widget_input_shape_combine_region(window, nullptr);
    gtk_widget_shape_combine_region(window, nullptr);
    gtk_widget_set_size_request(window, kJpgWindowWidth, kJpgWindowHeight);
    gtk_window_resize(GTK_WINDOW(window), kJpgWindowWidth, kJpgWindowHeight);
    // The layer painter (its handlers carry the host object as their data) would show the
    // tiny layer; this window paints the plain image instead.
    g_signal_handlers_block_matched(
        window, static_cast<GSignalMatchType>(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DATA),
        g_signal_lookup("draw", GTK_TYPE_WIDGET), 0, nullptr, nullptr, dialog.Host());
    g_signal_connect(window, "draw", G_CALLBACK(PaintJpgMode), &dialog);
  }
  SetLauncherIcon(GTK_WINDOW(window));
  gtk_window_present(GTK_WINDOW(window));
}

}  // namespace

bool CreateLauncherWindow(CFernliteDlg& dialog, std::u16string_view title) {
  dialog.make_background = &MakeBackgroundDialog;
  if (!CreateTranslucentWindow(dialog, title)) return false;
  FinishPlatformWindow(dialog);
  SetLauncherWindow(&dialog);
  return true;
}

}  // namespace fernlite
