// empty_window: a plain GTK 3 window of the launcher's size, the floor for bench_start's
// frame timing. Prints "mapped ms: N" (CLOCK_MONOTONIC) when the window maps, then idles
// until it is closed or killed.
#include <gtk/gtk.h>

#include <cstdio>

#include "floor_window_linux.h"

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "empty_window: no display\n");
    return 1;
  }
  // The launcher's layer is 661 x 420.
  gtk_widget_show_all(fernlite::bench::FloorWindow("empty window", 661, 420));
  gtk_main();
  return 0;
}
