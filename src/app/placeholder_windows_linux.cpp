// TEMPORARY: see placeholder_windows.h.
#include <gtk/gtk.h>

#include <cstdio>

#include "app/placeholder_windows.h"
#include "platform/text.h"

namespace fernlite {
namespace {

class PlaceholderWindows : public LauncherWindows {
 public:
  explicit PlaceholderWindows(RunSettings& settings) : settings_(settings) {}

  void Open() override { display_ = gtk_init_check(nullptr, nullptr); }
  int RunLauncher() override { return Show(PlaceholderLauncherText(settings_)); }
  int RunGameWindow() override { return Show(PlaceholderGameText(settings_)); }
  void ShowBubble(const std::u16string& icon_label, int) override {
    std::printf("[placeholder] a bubble would point at the desktop icon %s\n",
                ToUtf8(icon_label).c_str());
  }
  void Close() override {}

 private:
  int Show(const std::u16string& text) {
    const std::string utf8 = ToUtf8(text);
    std::printf("%s\n", utf8.c_str());
    std::fflush(stdout);
    if (!display_) return kWindowClosed;  // no display: saying it is all there is to do
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), ToUtf8(settings_.GameTitle).c_str());
    gtk_window_set_default_size(GTK_WINDOW(window), 480, 120);
    GtkWidget* label = gtk_label_new(utf8.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_container_add(GTK_CONTAINER(window), label);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return kWindowClosed;
  }

  RunSettings& settings_;
  bool display_ = false;
};

}  // namespace

std::unique_ptr<LauncherWindows> MakePlaceholderWindows(RunSettings& settings) {
  return std::make_unique<PlaceholderWindows>(settings);
}

}  // namespace fernlite
