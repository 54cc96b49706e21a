// The window of bench_start's floor programs: a plain toplevel, centred as the launcher's is,
// that prints "mapped ms: N" (monotonic) when it maps and ends the program when it closes.
#pragma once

#include <gtk/gtk.h>

#include <cstdio>

#include "monotonic_linux.h"

namespace fernlite::bench {

inline GtkWidget* FloorWindow(const char* title, int width, int height) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  // The launcher's own event is the window's "map" too.
  g_signal_connect(window, "map", G_CALLBACK(+[](GtkWidget*, gpointer) {
                     std::printf("mapped ms: %.3f\n", MonotonicMs());
                     std::fflush(stdout);
                   }),
                   nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  return window;
}

}  // namespace fernlite::bench
