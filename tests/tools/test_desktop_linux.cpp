// A stand-in desktop for the bubble tests: a screen-sized window whose accessible is a desktop
// frame (or, with --frame, an ordinary frame), holding one icon view per labelled icon at a
// screen position. Arguments: [--frame] LABEL X Y ...
// Commands on stdin, one a line: "move LABEL X Y", "remove LABEL", "hide", "quit".
// Output: "ready" once the window is on screen, then "at LABEL X Y W H" with the icon's screen
// rectangle (inside its padding) whenever its layout changes.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "fakes/web_engine_leaks.h"

namespace {

struct Icon {
  GtkWidget* view = nullptr;
  std::string label;
  GdkRectangle last{-1, -1, -1, -1};
};

GtkWidget* g_window = nullptr;
GtkWidget* g_fixed = nullptr;
std::map<std::string, Icon> g_icons;

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void Report(Icon& icon) {
  GtkTreePath* path = gtk_tree_path_new_first();
  GdkRectangle cell{};
  const bool known = gtk_icon_view_get_cell_rect(GTK_ICON_VIEW(icon.view), path, nullptr, &cell);
  gtk_tree_path_free(path);
  GdkWindow* top = gtk_widget_get_window(g_window);
  if (!known || !top) return;
  int ox = 0, oy = 0, wx = 0, wy = 0;
  gdk_window_get_origin(top, &ox, &oy);
  if (!gtk_widget_translate_coordinates(icon.view, g_window, cell.x, cell.y, &wx, &wy)) return;
  // The item's accessible extents leave out its padding.
  const int pad = gtk_icon_view_get_item_padding(GTK_ICON_VIEW(icon.view));
  const GdkRectangle now{ox + wx + pad, oy + wy + pad, cell.width - 2 * pad, cell.height - 2 * pad};
  if (now.x == icon.last.x && now.y == icon.last.y && now.width == icon.last.width &&
      now.height == icon.last.height)
    return;
  icon.last = now;
  Say("at " + icon.label + " " + std::to_string(now.x) + " " + std::to_string(now.y) + " " +
      std::to_string(now.width) + " " + std::to_string(now.height));
}

void OnAllocated(GtkWidget*, GdkRectangle*, gpointer label_ptr) {
  auto it = g_icons.find(static_cast<const char*>(label_ptr));
  if (it != g_icons.end()) Report(it->second);
}

GdkPixbuf* Picture(guint32 rgba) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 48, 48);
  gdk_pixbuf_fill(pixbuf, rgba);
  return pixbuf;
}

void AddIcon(const std::string& label, int x, int y) {
  GtkListStore* store = gtk_list_store_new(2, GDK_TYPE_PIXBUF, G_TYPE_STRING);
  GtkTreeIter iter;
  gtk_list_store_append(store, &iter);
  GdkPixbuf* pixbuf = Picture(0x3a7bd5ff);
  gtk_list_store_set(store, &iter, 0, pixbuf, 1, label.c_str(), -1);
  g_object_unref(pixbuf);
  GtkWidget* view = gtk_icon_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_icon_view_set_pixbuf_column(GTK_ICON_VIEW(view), 0);
  gtk_icon_view_set_text_column(GTK_ICON_VIEW(view), 1);
  gtk_icon_view_set_columns(GTK_ICON_VIEW(view), 1);
  gtk_icon_view_set_item_width(GTK_ICON_VIEW(view), 64);
  Icon& icon = g_icons[label];
  icon.view = view;
  icon.label = label;
  // The map's key outlives the handler: icons are erased only after their view is gone.
  g_signal_connect_after(view, "size-allocate", G_CALLBACK(OnAllocated),
                         const_cast<char*>(g_icons.find(label)->first.c_str()));
  gtk_fixed_put(GTK_FIXED(g_fixed), view, x, y);
  gtk_widget_show(view);
}

void Command(const std::string& line) {
  std::istringstream in(line);
  std::string verb, label;
  in >> verb;
  if (verb == "quit") {
    gtk_main_quit();
  } else if (verb == "hide") {
    gtk_widget_hide(g_window);
  } else if (verb == "move") {
    int x = 0, y = 0;
    if (!(in >> label >> x >> y)) return;
    auto it = g_icons.find(label);
    if (it != g_icons.end()) gtk_fixed_move(GTK_FIXED(g_fixed), it->second.view, x, y);
  } else if (verb == "remove") {
    if (!(in >> label)) return;
    auto it = g_icons.find(label);
    if (it == g_icons.end()) return;
    gtk_widget_destroy(it->second.view);
    g_icons.erase(it);
  }
}

gboolean OnInput(GIOChannel* channel, GIOCondition condition, gpointer) {
  gchar* line = nullptr;
  gsize length = 0;
  const GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
  if (status == G_IO_STATUS_NORMAL && line) {
    std::string text(line, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    Command(text);
  }
  g_free(line);
  // The test going away ends the desktop too.
  if (status == G_IO_STATUS_EOF || (condition & (G_IO_HUP | G_IO_ERR))) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

gboolean OnMapped(GtkWidget*, GdkEvent*, gpointer) {
  Say("ready");
  for (auto& [label, icon] : g_icons) Report(icon);
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  int first = 1;
  const bool plain = argc > 1 && std::strcmp(argv[1], "--frame") == 0;
  if (plain) ++first;

  g_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(g_window), plain ? "Test frame" : "Test desktop");
  gtk_window_set_decorated(GTK_WINDOW(g_window), FALSE);
  if (!plain) gtk_window_set_type_hint(GTK_WINDOW(g_window), GDK_WINDOW_TYPE_HINT_DESKTOP);
  GdkRectangle screen{0, 0, 1280, 800};
  if (GdkMonitor* monitor = gdk_display_get_monitor(gdk_display_get_default(), 0))
    gdk_monitor_get_geometry(monitor, &screen);
  gtk_window_set_default_size(GTK_WINDOW(g_window), screen.width, screen.height);
  gtk_window_move(GTK_WINDOW(g_window), screen.x, screen.y);
  AtkObject* accessible = gtk_widget_get_accessible(g_window);
  atk_object_set_role(accessible, plain ? ATK_ROLE_FRAME : ATK_ROLE_DESKTOP_FRAME);
  atk_object_set_name(accessible, plain ? "Frame" : "Desktop");

  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "window { background: #2d6a4f; }", -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  g_fixed = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(g_window), g_fixed);
  for (int i = first; i + 2 < argc; i += 3)
    AddIcon(argv[i], std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));

  g_signal_connect(g_window, "map-event", G_CALLBACK(OnMapped), nullptr);
  g_signal_connect(g_window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_add_events(g_window, GDK_STRUCTURE_MASK);

  GIOChannel* input = g_io_channel_unix_new(0);
  g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnInput, nullptr);
  g_io_channel_unref(input);

  gtk_widget_show_all(g_window);
  gtk_main();
  return 0;
}
