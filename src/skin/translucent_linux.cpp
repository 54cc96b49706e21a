// Linux side of translucent dialogs: an undecorated RGBA GTK window that paints the dialog's
// composed layer, a cairo image surface, as it is. Children are not
// native widgets here: the window routes pointer input to them itself, the way a layered
// window's child controls would receive it.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "skin/drawing_linux.h"
#include "skin/translucent.h"
#include "skin/translucent_linux.h"

namespace fernlite {

namespace {

// Pixels with any coverage take input (and, without a compositor, are the visible shape);
// fully transparent ones let clicks through, as a layered window does.
cairo_region_t* OpaqueRegion(const Image& layer) {
  cairo_region_t* region = cairo_region_create();
  cairo_surface_t* surface = CairoSurface(layer);
  if (!surface) return region;
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < layer.Height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    int x = 0;
    while (x < layer.Width()) {
      while (x < layer.Width() && (row[x] >> 24) == 0) ++x;
      int start = x;
      while (x < layer.Width() && (row[x] >> 24) != 0) ++x;
      if (x > start) {
        cairo_rectangle_int_t run{start, y, x - start, 1};
        cairo_region_union_rectangle(region, &run);
      }
    }
  }
  return region;
}

class GtkLayeredWindow final : public LayeredWindowHost {
 public:
  GtkLayeredWindow(CTranslucentDialog& dialog, std::u16string_view title) : dialog_(dialog) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_title(window, ToUtf8(title).c_str());
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_widget_set_app_paintable(window_, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(window_);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen))
      gtk_widget_set_visual(window_, visual);
    gtk_widget_add_events(window_, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                       GDK_BUTTON_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK |
                                       GDK_STRUCTURE_MASK);
    Connect("draw", G_CALLBACK(&GtkLayeredWindow::OnDraw));
    Connect("motion-notify-event", G_CALLBACK(&GtkLayeredWindow::OnMotion));
    Connect("button-press-event", G_CALLBACK(&GtkLayeredWindow::OnButtonPress));
    Connect("button-release-event", G_CALLBACK(&GtkLayeredWindow::OnButtonRelease));
    Connect("leave-notify-event", G_CALLBACK(&GtkLayeredWindow::OnLeave));
    Connect("configure-event", G_CALLBACK(&GtkLayeredWindow::OnConfigure));
    Connect("delete-event", G_CALLBACK(&GtkLayeredWindow::OnDelete));
    Connect("destroy", G_CALLBACK(&GtkLayeredWindow::OnDestroyed));
  }

  ~GtkLayeredWindow() override {
    if (idle_id_) g_source_remove(idle_id_);
    if (window_) {
      for (gulong id : handlers_) g_signal_handler_disconnect(window_, id);
      gtk_widget_destroy(window_);
      g_object_unref(window_);
    }
  }

  NativeWindow Handle() const override { return window_; }

  void Present(const Image& layer) override {
    layer_ = &layer;
    if (!window_) return;
    if (layer.Width() != width_ || layer.Height() != height_) {
      width_ = layer.Width();
      height_ = layer.Height();
      gtk_widget_set_size_request(window_, width_, height_);
      gtk_window_resize(GTK_WINDOW(window_), std::max(width_, 1), std::max(height_, 1));
    }
    cairo_region_t* region = OpaqueRegion(layer);
    gtk_widget_input_shape_combine_region(window_, region);
    // Without a compositor, alpha is not blended with the desktop: cut the window to its
    // covered pixels instead of showing black.
    if (!gdk_screen_is_composited(gtk_widget_get_screen(window_)))
      gtk_widget_shape_combine_region(window_, region);
    cairo_region_destroy(region);
    gtk_widget_queue_draw(window_);
  }

  void PostAction(ButtonAction action) override {
    pending_.push_back(action);
    if (!idle_id_) idle_id_ = g_idle_add(&GtkLayeredWindow::RunPending, this);
  }

  void MoveWindow(NativeWindow window, int x, int y) override {
    if (!window) return;
    gtk_window_move(GTK_WINDOW(window), x, y);
    gtk_widget_show(GTK_WIDGET(window));
  }

  void SizeWindow(NativeWindow window, int width, int height) override {
    if (!window || width <= 0 || height <= 0) return;
    gtk_window_resize(GTK_WINDOW(window), width, height);
  }

  void Show(const WindowPlacement& placement) {
    gtk_window_move(GTK_WINDOW(window_), placement.x, placement.y);
    gtk_widget_show(window_);
  }

 private:
  void Connect(const char* signal, GCallback callback) {
    handlers_.push_back(g_signal_connect(window_, signal, callback, this));
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_surface_t* layer = self->layer_ ? CairoSurface(*self->layer_) : nullptr;
    if (layer)
      cairo_set_source_surface(cr, layer, 0, 0);
    else
      cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    return TRUE;
  }

  void SetHot(CTranslucentWnd* child) {
    if (child == hot_) return;
    if (auto* old = dynamic_cast<CTranslucentButton*>(hot_)) old->OnMouseLeave();
    hot_ = child;
  }

  static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    if (self->drag_.Active()) {
      auto [x, y] =
          self->drag_.Follow(static_cast<int>(event->x_root), static_cast<int>(event->y_root));
      gtk_window_move(GTK_WINDOW(self->window_), x, y);
      return TRUE;
    }
    CTranslucentWnd* child =
        self->dialog_.ChildAt(static_cast<int>(event->x), static_cast<int>(event->y));
    self->SetHot(child);
    if (auto* button = dynamic_cast<CTranslucentButton*>(child)) {
      // The pointer is delivered with no hover delay: the hover notice follows at once.
      if (button->OnMouseMove()) button->OnMouseHover();
    }
    return TRUE;
  }

  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    if (event->mode == GDK_CROSSING_NORMAL) self->SetHot(nullptr);
    return FALSE;
  }

  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return TRUE;
    CTranslucentWnd* child =
        self->dialog_.ChildAt(static_cast<int>(event->x), static_cast<int>(event->y));
    if (auto* button = dynamic_cast<CTranslucentButton*>(child)) {
      button->OnLButtonDown();
    } else if (!child && self->dialog_.Draggable) {
      int wx = 0, wy = 0;
      gtk_window_get_position(GTK_WINDOW(self->window_), &wx, &wy);
      self->drag_.Begin(static_cast<int>(event->x_root), static_cast<int>(event->y_root), wx, wy);
    }
    return TRUE;
  }

  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    if (event->button != 1) return TRUE;
    if (self->drag_.Active()) {
      self->drag_.End();
      return TRUE;
    }
    int x = static_cast<int>(event->x), y = static_cast<int>(event->y);
    // As without mouse capture: only a button under the pointer hears the release.
    if (auto* button = dynamic_cast<CTranslucentButton*>(self->dialog_.ChildAt(x, y))) {
      const Rect& bounds = button->Bounds();
      if (auto action = button->OnLButtonUp(x - bounds.left, y - bounds.top))
        self->PostAction(*action);
    }
    return TRUE;
  }

  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    if (event->x != self->last_x_ || event->y != self->last_y_) {
      self->last_x_ = event->x;
      self->last_y_ = event->y;
      self->dialog_.OnMoved(event->x, event->y);
    }
    if (event->width != self->last_w_ || event->height != self->last_h_) {
      self->last_w_ = event->width;
      self->last_h_ = event->height;
      self->dialog_.OnSized(event->width, event->height);
    }
    return FALSE;
  }

  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self_ptr) {
    static_cast<GtkLayeredWindow*>(self_ptr)->PostAction(ButtonAction::Close);
    return TRUE;
  }

  static void OnDestroyed(GtkWidget*, gpointer self_ptr) {
    // Destroyed from outside (not through the dialog): forget the widget.
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    self->handlers_.clear();
    g_object_unref(self->window_);
    self->window_ = nullptr;
    self->dialog_.OnDestroy();
  }

  static gboolean RunPending(gpointer self_ptr) {
    auto* self = static_cast<GtkLayeredWindow*>(self_ptr);
    self->idle_id_ = 0;
    std::vector<ButtonAction> actions;
    actions.swap(self->pending_);
    CTranslucentDialog& dialog = self->dialog_;
    for (ButtonAction action : actions) {
      if (action == ButtonAction::Minimize) {
        if (self->window_) gtk_window_iconify(GTK_WINDOW(self->window_));
      } else {
        // May destroy this host; nothing of it is touched afterwards.
        dialog.OnClose();
        break;
      }
    }
    return G_SOURCE_REMOVE;
  }

  CTranslucentDialog& dialog_;
  GtkWidget* window_ = nullptr;
  std::vector<gulong> handlers_;
  const Image* layer_ = nullptr;
  int width_ = 0, height_ = 0;
  int last_x_ = INT32_MIN, last_y_ = INT32_MIN, last_w_ = -1, last_h_ = -1;
  CTranslucentWnd* hot_ = nullptr;
  DragTracker drag_;
  std::vector<ButtonAction> pending_;
  guint idle_id_ = 0;
};

}  // namespace

Rect PrimaryWorkArea() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return {};
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0)
    monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return {};
  GdkRectangle work{0, 0, 0, 0};
  gdk_monitor_get_workarea(monitor, &work);
  return RectXYWH(work.x, work.y, work.width, work.height);
}

bool CreateTranslucentWindow(CTranslucentDialog& dialog, std::u16string_view title) {
  if (!gtk_init_check(nullptr, nullptr)) return false;
  auto owned = std::make_unique<GtkLayeredWindow>(dialog, title);
  GtkLayeredWindow* host = owned.get();
  dialog.AdoptHost(std::move(owned));

  const Image* background = dialog.BackgroundImage();
  const int iw = background ? background->Width() : 0;
  const int ih = background ? background->Height() : 0;
  // No frame is added to an undecorated window.
  WindowPlacement placement = dialog.InitDialog(Rect{0, 0, iw, ih}, iw, ih, PrimaryWorkArea());
  host->Show(placement);
  return true;
}

}  // namespace fernlite
