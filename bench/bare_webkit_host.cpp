// bare_webkit_host: one WebKitWebView of the launcher's browser size in a GTK 3 window, with
// the engine's defaults, the floor for bench_start's page timings.
//
//   bare_webkit_host URL [--no-acceleration]
//
// Prints "mapped ms: N" when the window maps and "loaded ms: N URI" when the page has loaded
// (CLOCK_MONOTONIC), then idles until it is closed or killed.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>

#include "floor_window_linux.h"
#include "game/standard_dialog.h"

namespace {

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  const char* uri = webkit_web_view_get_uri(view);
  std::printf("loaded ms: %.3f %s\n", fernlite::bench::MonotonicMs(), uri ? uri : "");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--no-acceleration") != 0)) {
    std::fprintf(stderr, "usage: bare_webkit_host URL [--no-acceleration]\n");
    return 2;
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "bare_webkit_host: no display\n");
    return 1;
  }
  const int width = fernlite::kGuestBrowserRect.Width();
  const int height = fernlite::kGuestBrowserRect.Height();
  GtkWidget* window = fernlite::bench::FloorWindow("bare host", width, height);

  GtkWidget* view = webkit_web_view_new();
  if (argc == 3) {
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
