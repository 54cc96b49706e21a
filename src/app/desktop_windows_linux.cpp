// The launcher's windows on GTK. Without a display nothing can be shown: the launcher says so
// and the run loop ends as if its window could not be created (exit code 1).
//
// With FERNLITE_TEST_EVENTS=1 the process reports its windows and pages on standard output
// ("mapped: TITLE", "unmapped: TITLE", "loaded: URI", "game window: guest|player NAME, URL")
// and takes commands, one per line, on
// standard input: "eval URI-PART SCRIPT" runs a script in the page whose address contains
// URI-PART; "close URI-PART" closes the window showing that page (its owner for an owned one);
// "call METHOD JSON-ARRAY" calls that method of window.external in the launcher's page as a page
// script would (game/bridge_call.h).
// With FERNLITE_REPORT_MAPPED=1 it prints "mapped ms: N" (monotonic clock) once the launcher
// window is on screen and exits at once.
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/desktop_windows.h"
#include "game/bridge_call.h"
#include "game/game_window.h"
#include "game/script_bridge_linux.h"
#include "game/webkit_api_linux.h"
#include "platform/text.h"
#include "skin/icon_bubble_linux.h"
#include "skin/launcher_dialog.h"
#include "skin/launcher_dialog_linux.h"

namespace fernlite {
namespace {

bool EnvFlag(const char* name) {
  const char* value = std::getenv(name);
  return value && std::string(value) == "1";
}

// --- Test events -----------------------------------------------------------------------------

std::vector<WebKitWebView*>& Views() {
  static std::vector<WebKitWebView*> views;
  return views;
}

// With FERNLITE_EVENT_TIMES=1 each line starts with the monotonic clock in ms, stamped here so
// a benchmark reading the pipe does not count the pipe's delay.
void Emit(const std::string& line) {
  static const bool stamped = EnvFlag("FERNLITE_EVENT_TIMES");
  if (stamped) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("%.3f ", static_cast<double>(now.tv_sec) * 1000.0 + now.tv_nsec / 1e6);
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void OnViewLoad(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  const char* uri = WebKit().webkit_web_view_get_uri(view);
  Emit(std::string("loaded: ") + (uri ? uri : ""));
}

void ForgetView(gpointer, GObject* gone) {
  auto& views = Views();
  std::erase(views, reinterpret_cast<WebKitWebView*>(gone));
}

gboolean OnAnyMap(GSignalInvocationHint* hint, guint, const GValue* values, gpointer) {
  GObject* object = static_cast<GObject*>(g_value_get_object(&values[0]));
  const bool mapped = hint->signal_id == g_signal_lookup("map", GTK_TYPE_WIDGET);
  // Only an open engine has views, so asking never opens it on the way to the first frame.
  WebKitWebView* view = AsWebView(object);
  if (view && mapped) {
    auto& views = Views();
    if (std::find(views.begin(), views.end(), view) == views.end()) {
      views.push_back(view);
      g_object_weak_ref(object, ForgetView, nullptr);
      g_signal_connect(view, "load-changed", G_CALLBACK(OnViewLoad), nullptr);
    }
  } else if (GTK_IS_WINDOW(object)) {
    const char* title = gtk_window_get_title(GTK_WINDOW(object));
    if (title && *title) Emit(std::string(mapped ? "mapped: " : "unmapped: ") + title);
  }
  return TRUE;  // stay installed
}

WebKitWebView* FindView(const std::string& uri_part) {
  for (WebKitWebView* view : Views()) {
    const char* uri = WebKit().webkit_web_view_get_uri(view);
    if (uri && std::string(uri).find(uri_part) != std::string::npos) return view;
  }
  return nullptr;
}

void RunCommand(const std::string& line) {
  if (line.rfind("call ", 0) == 0) {
    const std::optional<BridgeCall> call = ParseBridgeCall(line);
    WebKitWebView* page = FindView(ToUtf8(Settings().GuestBaseUrl));
    if (!call) {
      Emit("bad call: " + line);
    } else if (!page) {
      Emit("no page: launcher");
    } else {
      const std::string script = BridgeCallScript(*call);
      WebKit().webkit_web_view_evaluate_javascript(page, script.c_str(), -1, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr);
    }
    return;
  }
  const size_t space = line.find(' ');
  const std::string verb = line.substr(0, space);
  std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  const size_t second = rest.find(' ');
  const std::string target = rest.substr(0, second);
  const std::string argument = second == std::string::npos ? "" : rest.substr(second + 1);
  WebKitWebView* view = FindView(target);
  if (!view) {
    Emit("no page: " + target);
    return;
  }
  if (verb == "eval") {
    WebKit().webkit_web_view_evaluate_javascript(view, argument.c_str(), -1, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr);
  } else if (verb == "close") {
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view));
    if (!GTK_IS_WINDOW(top)) return;
    GtkWindow* window = GTK_WINDOW(top);
    if (GtkWindow* owner = gtk_window_get_transient_for(window)) window = owner;
    gtk_window_close(window);
  }
}

gboolean OnCommandInput(GIOChannel* channel, GIOCondition condition, gpointer) {
  if (condition & (G_IO_HUP | G_IO_ERR)) return G_SOURCE_REMOVE;
  gchar* text = nullptr;
  gsize length = 0;
  if (g_io_channel_read_line(channel, &text, &length, nullptr, nullptr) != G_IO_STATUS_NORMAL)
    return G_SOURCE_REMOVE;
  std::string line(text, length);
  g_free(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty()) RunCommand(line);
  return G_SOURCE_CONTINUE;
}

void InstallTestEvents() {
  g_type_class_ref(GTK_TYPE_WINDOW);
  g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, OnAnyMap, nullptr,
                             nullptr);
  g_signal_add_emission_hook(g_signal_lookup("unmap", GTK_TYPE_WIDGET), 0, OnAnyMap, nullptr,
                             nullptr);
  GIOChannel* input = g_io_channel_unix_new(STDIN_FILENO);
  g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnCommandInput,
                 nullptr);
  g_io_channel_unref(input);
}

gboolean ReportMappedAndExit(GtkWidget*, GdkEvent*, gpointer) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::printf("mapped ms: %lld\n",
              static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
  std::fflush(stdout);
  std::_Exit(0);
}

// --- The windows -----------------------------------------------------------------------------

class DesktopWindows : public LauncherWindows {
 public:
  explicit DesktopWindows(RunSettings& settings) : settings_(settings) {}

  void Open() override {
    display_ = gtk_init_check(nullptr, nullptr);
    if (!display_) {
      std::fprintf(stderr, "%s: no display to show the launcher on\n",
                   ToUtf8(settings_.GameTitle).c_str());
      return;
    }
    CreateScriptBridge();
    if (EnvFlag("FERNLITE_TEST_EVENTS")) InstallTestEvents();
  }

  int RunLauncher() override {
    if (!display_) return kWindowNotCreated;
    const bool png = DrawingAvailable();
    CFernliteDlg dialog(png ? kLauncherPngImage : kLauncherJpgImage,
                        png ? ImageType::Png : ImageType::Jpg, settings_);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    dialog.on_destroyed = [loop] { g_main_loop_quit(loop); };
    if (!CreateLauncherWindow(dialog, settings_.GameTitle)) {
      g_main_loop_unref(loop);
      return kWindowNotCreated;
    }
    if (EnvFlag("FERNLITE_REPORT_MAPPED")) {
      g_signal_connect(static_cast<GtkWidget*>(dialog.Host()->Handle()), "map-event",
                       G_CALLBACK(ReportMappedAndExit), nullptr);
    }
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return kWindowClosed;
  }

  int RunGameWindow() override {
    if (!display_) return kWindowNotCreated;
    if (EnvFlag("FERNLITE_TEST_EVENTS")) {
      const GameWindowRequest request = RequestFromSettings(settings_);
      Emit(
          std::string("game window: ") +
          (IsGuestPlayer(request.player_name) ? "guest" : "player " + ToUtf8(request.player_name)) +
          ", " + ToUtf8(request.url));
    }
    return RunGameWindowDialog();
  }

  // The speech bubble beside the desktop icon, found through the accessibility bus.
  void ShowBubble(const std::u16string& label, int show_command) override {
    RunIconBubble(label, show_command);
  }

  void Close() override {
    if (display_) DeleteScriptBridge();
  }

 private:
  RunSettings& settings_;
  bool display_ = false;
};

}  // namespace

std::unique_ptr<LauncherWindows> MakeDesktopWindows(RunSettings& settings) {
  return std::make_unique<DesktopWindows>(settings);
}

}  // namespace fernlite
