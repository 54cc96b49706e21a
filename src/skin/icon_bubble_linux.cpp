#include "skin/icon_bubble_linux.h"

#include <atspi/atspi.h>
#include <fcntl.h>
#include <gtk/gtk.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>

#include "identity/md5.h"
#include "platform/text.h"
#include "skin/drawing_linux.h"

namespace fernlite {
namespace {

// Each bus call waits at most this long, and one search at most kSearchBudget in all: the
// follow timer calls the finder every 700 ms on the window's own thread.
constexpr int kCallTimeoutMs = 1000;
constexpr auto kSearchBudget = std::chrono::milliseconds(2500);
// More than any desktop holds; a hostile tree must not keep the bubble busy.
constexpr int kMaxApplications = 256;
constexpr int kMaxTopLevels = 64;
constexpr int kMaxChildren = 4096;
constexpr int kMaxNodes = 8192;
constexpr int kMaxDepth = 10;

// Every call passes one of these; a failed call leaves nothing behind.
class CallError {
 public:
  CallError() = default;
  CallError(const CallError&) = delete;
  CallError& operator=(const CallError&) = delete;
  ~CallError() { Clear(); }
  GError** Out() {
    Clear();
    return &error_;
  }
  bool Failed() const { return error_ != nullptr; }

 private:
  void Clear() {
    if (error_) g_error_free(error_);
    error_ = nullptr;
  }
  GError* error_ = nullptr;
};

// An owned reference to an accessible object.
class Ref {
 public:
  explicit Ref(AtspiAccessible* object = nullptr) : object_(object) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (object_) g_object_unref(object_);
  }
  AtspiAccessible* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  AtspiAccessible* object_;
};

bool StartAccessibility() {
  // Once, on the first bubble: the launcher's own start never talks to the bus.
  static const bool started = [] {
    const int result = atspi_init();
    atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
    return result == 0 || result == 1;
  }();
  return started;
}

class Search {
 public:
  explicit Search(const std::string& name)
      : name_(name), deadline_(std::chrono::steady_clock::now() + kSearchBudget) {}

  std::optional<Rect> Run() {
    Ref desktop(atspi_get_desktop(0));
    if (!desktop) return std::nullopt;
    // Names, roles and children change under us: nothing is taken from an earlier search.
    // (Turning the cache off instead would have the library's own event handlers call the bus
    // while it dispatches, which deadlocks.)
    atspi_accessible_clear_cache(desktop.get());
    const int applications = ChildCount(desktop.get(), kMaxApplications);
    const guint self = static_cast<guint>(getpid());
    for (int i = 0; i < applications && Alive(); ++i) {
      Ref application(Child(desktop.get(), i));
      if (!application) continue;
      atspi_accessible_clear_cache(application.get());
      CallError error;
      // This process answers the bus on the thread that is asking: it would only time out.
      if (atspi_accessible_get_process_id(application.get(), error.Out()) == self || error.Failed())
        continue;
      const int windows = ChildCount(application.get(), kMaxTopLevels);
      for (int w = 0; w < windows && Alive(); ++w) {
        Ref window(Child(application.get(), w));
        if (!window || Role(window.get()) != ATSPI_ROLE_DESKTOP_FRAME || !Showing(window.get()))
          continue;
        if (std::optional<Rect> found = Within(window.get(), ATSPI_ROLE_DESKTOP_FRAME, 0))
          return found;
      }
    }
    return std::nullopt;
  }

 private:
  bool Alive() const { return nodes_ < kMaxNodes && std::chrono::steady_clock::now() < deadline_; }

  int ChildCount(AtspiAccessible* object, int limit) {
    CallError error;
    const int count = atspi_accessible_get_child_count(object, error.Out());
    if (error.Failed() || count < 0) return 0;
    return count < limit ? count : limit;
  }

  AtspiAccessible* Child(AtspiAccessible* object, int index) {
    ++nodes_;
    CallError error;
    AtspiAccessible* child = atspi_accessible_get_child_at_index(object, index, error.Out());
    if (error.Failed() && child) {
      g_object_unref(child);
      return nullptr;
    }
    return child;
  }

  static AtspiRole Role(AtspiAccessible* object) {
    CallError error;
    const AtspiRole role = atspi_accessible_get_role(object, error.Out());
    return error.Failed() ? ATSPI_ROLE_INVALID : role;
  }

  static bool Showing(AtspiAccessible* object) {
    AtspiStateSet* states = atspi_accessible_get_state_set(object);
    if (!states) return false;
    const bool showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    g_object_unref(states);
    return showing;
  }

  // The label is the item's name; a GTK icon view leaves that empty and carries the label as
  // the item's text.
  bool NameMatches(AtspiAccessible* object) const {
    CallError error;
    gchar* name = atspi_accessible_get_name(object, error.Out());
    const bool named = !error.Failed() && name && *name;
    const bool same = named && name_ == name;
    g_free(name);
    if (named || error.Failed()) return same;
    // Texts on the bus are UTF-8; an invalid label matches none of them.
    if (!g_utf8_validate(name_.data(), static_cast<gssize>(name_.size()), nullptr)) return false;
    AtspiText* text = atspi_accessible_get_text_iface(object);
    if (!text) return false;
    // Only a text of the label's length can be it, and it is read exactly to its end: some
    // toolkits read past their buffer when asked for more.
    const glong characters = g_utf8_strlen(name_.data(), static_cast<gssize>(name_.size()));
    bool matches = false;
    const gint count = atspi_text_get_character_count(text, error.Out());
    if (!error.Failed() && count == characters) {
      gchar* label = atspi_text_get_text(text, 0, count, error.Out());
      matches = !error.Failed() && label && name_ == label;
      g_free(label);
    }
    g_object_unref(text);
    return matches;
  }

  static std::optional<Rect> Extents(AtspiAccessible* object) {
    AtspiComponent* component = atspi_accessible_get_component_iface(object);
    if (!component) return std::nullopt;
    CallError error;
    AtspiRect* extents =
        atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, error.Out());
    g_object_unref(component);
    std::optional<Rect> rect;
    if (!error.Failed() && extents && extents->width >= 0 && extents->height >= 0)
      rect = RectXYWH(extents->x, extents->y, extents->width, extents->height);
    g_free(extents);
    return rect;
  }

  // An icon is an icon or list item anywhere in the desktop's tree, or any child of an icon
  // view (a layered pane), whatever role that gives its items.
  std::optional<Rect> Within(AtspiAccessible* parent, AtspiRole parent_role, int depth) {
    const int count = ChildCount(parent, kMaxChildren);
    for (int i = 0; i < count && Alive(); ++i) {
      Ref child(Child(parent, i));
      if (!child) continue;
      const AtspiRole role = Role(child.get());
      const bool item = role == ATSPI_ROLE_ICON || role == ATSPI_ROLE_LIST_ITEM ||
                        parent_role == ATSPI_ROLE_LAYERED_PANE;
      if (item) {
        if (NameMatches(child.get())) return Extents(child.get());
        continue;
      }
      if (depth + 1 < kMaxDepth) {
        if (std::optional<Rect> found = Within(child.get(), role, depth + 1)) return found;
      }
    }
    return std::nullopt;
  }

  const std::string& name_;
  const std::chrono::steady_clock::time_point deadline_;
  int nodes_ = 0;
};

// Whole pixels the picture covers in its top-left width × height: without a compositor they
// are the window's shape, and everywhere they are where it takes the pointer, as a layered
// window does.
cairo_region_t* CoveredRegion(const Image& picture, int width, int height) {
  cairo_region_t* region = cairo_region_create();
  cairo_surface_t* surface = CairoSurface(picture);
  if (!surface) return region;
  cairo_surface_flush(surface);
  width = std::min(width, picture.Width());
  height = std::min(height, picture.Height());
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    int x = 0;
    while (x < width) {
      while (x < width && (row[x] >> 24) == 0) ++x;
      const int start = x;
      while (x < width && (row[x] >> 24) != 0) ++x;
      if (x > start) {
        cairo_rectangle_int_t run{start, y, x - start, 1};
        cairo_region_union_rectangle(region, &run);
      }
    }
  }
  return region;
}

class GtkBubble final : public BubbleWindow {
 public:
  explicit GtkBubble(const BubbleDesktop& desktop) : bubble_(*this, desktop) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_title(window, kBubbleWindowTitle);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_keep_below(window, TRUE);
    gtk_window_set_default_size(window, kBubbleWidth, kBubbleHeight);
    gtk_widget_set_size_request(window_, kBubbleWidth, kBubbleHeight);
    gtk_widget_set_app_paintable(window_, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(window_);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen))
      gtk_widget_set_visual(window_, visual);
    gtk_widget_add_events(window_, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                       GDK_BUTTON_RELEASE_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(window_, "draw", G_CALLBACK(&GtkBubble::OnDraw), this);
    g_signal_connect(window_, "motion-notify-event", G_CALLBACK(&GtkBubble::OnMotion), this);
    g_signal_connect(window_, "button-press-event", G_CALLBACK(&GtkBubble::OnPress), this);
    g_signal_connect(window_, "button-release-event", G_CALLBACK(&GtkBubble::OnRelease), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(&GtkBubble::OnConfigure), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(&GtkBubble::OnDestroy), this);
    gtk_widget_realize(window_);
  }

  GtkBubble(const GtkBubble&) = delete;
  GtkBubble& operator=(const GtkBubble&) = delete;

  ~GtkBubble() override {
    StopTimers();
    if (window_) {
      g_signal_handlers_disconnect_by_data(window_, this);
      gtk_widget_destroy(window_);
      g_object_unref(window_);
    }
    // The caller may not run the loop again (the process may end): the window goes now.
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
    if (loop_) g_main_loop_unref(loop_);
  }

  int Run() {
    creating_ = true;
    const bool shown = bubble_.OnCreate();
    creating_ = false;
    if (!shown || ended_) return 0;
    loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
    return 0;
  }

  // BubbleWindow
  void Present(const Image& picture, int x, int y, int width, int height, uint8_t alpha) override {
    if (!window_) return;
    picture_ = picture;
    width_ = width;
    height_ = height;
    alpha_ = alpha;
    if (width <= 0 || height <= 0 || picture.Empty()) {
      gtk_widget_hide(window_);
      return;
    }
    Move(x, y);
    cairo_region_t* region = CoveredRegion(picture, width, height);
    gtk_widget_input_shape_combine_region(window_, region);
    // Without a compositor the screen shows the pixels as they are: cut the window to what the
    // picture covers, and to nothing while it is wholly transparent.
    if (!gdk_screen_is_composited(gtk_widget_get_screen(window_))) {
      if (alpha == 0) {
        cairo_region_destroy(region);
        region = cairo_region_create();
      }
      gtk_widget_shape_combine_region(window_, region);
    }
    cairo_region_destroy(region);
    if (!gtk_widget_get_visible(window_)) gtk_widget_show(window_);
    gtk_widget_queue_draw(window_);
  }

  void Place(int x, int y) override {
    if (!window_) return;
    Move(x, y);
    gtk_widget_show(window_);
  }

  void SetTimer(int id, int interval_ms) override {
    KillTimer(id);
    Timer& timer = timers_[id];
    timer.self = this;
    timer.id = id;
    timer.source = g_timeout_add(static_cast<guint>(interval_ms), &GtkBubble::OnTimer, &timer);
  }

  void KillTimer(int id) override {
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second.source) return;
    g_source_remove(it->second.source);
    it->second.source = 0;
  }

  void SetHandCursor(bool hand) override {
    if (!window_ || hand == hand_) return;
    GdkWindow* window = gtk_widget_get_window(window_);
    if (!window) return;
    hand_ = hand;
    GdkCursor* cursor =
        gdk_cursor_new_from_name(gdk_window_get_display(window), hand ? "pointer" : "default");
    gdk_window_set_cursor(window, cursor);
    if (cursor) g_object_unref(cursor);
  }

  void End() override {
    ended_ = true;
    StopTimers();
    // During creation there is no loop yet: Run sees the flag and returns.
    if (creating_ || !window_) return;
    gtk_widget_destroy(window_);
  }

 private:
  struct Timer {
    GtkBubble* self = nullptr;
    int id = 0;
    guint source = 0;
  };

  void Move(int x, int y) {
    if (x == moved_x_ && y == moved_y_ && gtk_widget_get_visible(window_)) return;
    moved_x_ = x;
    moved_y_ = y;
    gtk_window_move(GTK_WINDOW(window_), x, y);
  }

  void StopTimers() {
    for (auto& [id, timer] : timers_) {
      if (timer.source) g_source_remove(timer.source);
      timer.source = 0;
    }
  }

  static gboolean OnTimer(gpointer timer_ptr) {
    auto* timer = static_cast<Timer*>(timer_ptr);
    // The bubble may stop or restart this very timer; `timer` is not touched afterwards.
    timer->self->bubble_.OnTimer(timer->id);
    return G_SOURCE_CONTINUE;
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self_ptr) {
    auto* self = static_cast<GtkBubble*>(self_ptr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_surface_t* surface = CairoSurface(self->picture_);
    if (surface && self->width_ > 0 && self->height_ > 0) {
      cairo_rectangle(cr, 0, 0, self->width_, self->height_);
      cairo_clip(cr);
      cairo_set_source_surface(cr, surface, 0, 0);
      cairo_paint_with_alpha(cr, self->alpha_ / 255.0);
    }
    return TRUE;
  }

  static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self_ptr) {
    static_cast<GtkBubble*>(self_ptr)->bubble_.OnMouseMove(static_cast<int>(event->x),
                                                           static_cast<int>(event->y));
    return TRUE;
  }

  // The press grabs the pointer until the release, so a drag off the bubble still reaches it.
  static gboolean OnPress(GtkWidget*, GdkEventButton* event, gpointer self_ptr) {
    if (event->button == 1 && event->type == GDK_BUTTON_PRESS)
      static_cast<GtkBubble*>(self_ptr)->bubble_.OnLButtonDown(static_cast<int>(event->x),
                                                               static_cast<int>(event->y));
    return TRUE;
  }

  static gboolean OnRelease(GtkWidget*, GdkEventButton* event, gpointer self_ptr) {
    if (event->button == 1)
      static_cast<GtkBubble*>(self_ptr)->bubble_.OnLButtonUp(static_cast<int>(event->x),
                                                             static_cast<int>(event->y));
    return TRUE;
  }

  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self_ptr) {
    static_cast<GtkBubble*>(self_ptr)->bubble_.OnMove(event->x, event->y);
    return FALSE;
  }

  static void OnDestroy(GtkWidget*, gpointer self_ptr) {
    auto* self = static_cast<GtkBubble*>(self_ptr);
    self->StopTimers();
    if (self->window_) {
      g_object_unref(self->window_);
      self->window_ = nullptr;
    }
    if (self->loop_) g_main_loop_quit(self->loop_);
  }

  IconBubble bubble_;
  GtkWidget* window_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::map<int, Timer> timers_;
  Image picture_;
  int width_ = 0, height_ = 0;
  uint8_t alpha_ = 0;
  int moved_x_ = 0, moved_y_ = 0;
  bool hand_ = false;
  bool creating_ = false;
  bool ended_ = false;
};

// One bubble per label at a time: an exclusive lock on a file named by the label's digest,
// kept (with its descriptor) until the process ends, as the Windows build keeps its mutex.
bool TakeLabelLock(const std::u16string& target) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const std::string digest = Md5Hex(ToUtf8(target));
  if (digest.empty()) return true;
  gchar* path = g_build_filename(g_get_user_runtime_dir(),
                                 ("vexa-bubble-" + digest + ".lock").c_str(), nullptr);
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  g_free(path);
  // Without a place for the lock the bubble still shows, as without a mutex.
  if (fd < 0) return true;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  return true;
}

int PrimaryScreenRight() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return 0;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return 0;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  return SaturatedInt(static_cast<long long>(area.x) + area.width);
}

}  // namespace

std::optional<Rect> FindIconRect(const std::string& utf8_name) {
  if (utf8_name.empty() || !StartAccessibility()) return std::nullopt;
  return Search(utf8_name).Run();
}

int RunIconBubble(const std::u16string& target, int show_command, const BubbleDesktop& desktop) {
  // The bubble shows without taking focus whatever the caller asks for.
  (void)show_command;
  if (!TakeLabelLock(target)) return 0;
  if (!gtk_init_check(nullptr, nullptr)) return 0;
  GtkBubble bubble(desktop);
  return bubble.Run();
}

int RunIconBubble(const std::u16string& target, int show_command) {
  const std::string name = ToUtf8(target);
  BubbleDesktop desktop{[name] { return FindIconRect(name); }, [] { return PrimaryScreenRight(); }};
  return RunIconBubble(target, show_command, desktop);
}

}  // namespace fernlite
