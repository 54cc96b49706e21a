#include "skin/skin_frame_linux.h"

#include <cmath>

#include "game/guest_link.h"
#include "platform/text.h"
#include "skin/drawing_linux.h"

namespace fernlite {

namespace {

constexpr double kDragThreshold = 4;

const char* CursorName(FrameHit hit) {
  switch (hit) {
    case FrameHit::kLeft: return "w-resize";
    case FrameHit::kRight: return "e-resize";
    case FrameHit::kTop: return "n-resize";
    case FrameHit::kBottom: return "s-resize";
    case FrameHit::kTopLeft: return "nw-resize";
    case FrameHit::kTopRight: return "ne-resize";
    case FrameHit::kBottomLeft: return "sw-resize";
    case FrameHit::kBottomRight: return "se-resize";
    default: return nullptr;
  }
}

bool EdgeOf(FrameHit hit, GdkWindowEdge& edge) {
  switch (hit) {
    case FrameHit::kLeft: edge = GDK_WINDOW_EDGE_WEST; return true;
    case FrameHit::kRight: edge = GDK_WINDOW_EDGE_EAST; return true;
    case FrameHit::kTop: edge = GDK_WINDOW_EDGE_NORTH; return true;
    case FrameHit::kBottom: edge = GDK_WINDOW_EDGE_SOUTH; return true;
    case FrameHit::kTopLeft: edge = GDK_WINDOW_EDGE_NORTH_WEST; return true;
    case FrameHit::kTopRight: edge = GDK_WINDOW_EDGE_NORTH_EAST; return true;
    case FrameHit::kBottomLeft: edge = GDK_WINDOW_EDGE_SOUTH_WEST; return true;
    case FrameHit::kBottomRight: edge = GDK_WINDOW_EDGE_SOUTH_EAST; return true;
    default: return false;
  }
}

void ToggleMaximized(GtkWindow* window, bool maximized) {
  if (maximized)
    gtk_window_unmaximize(window);
  else
    gtk_window_maximize(window);
}

}  // namespace

GtkSkinFrame::~GtkSkinFrame() {
  Detach();
}

bool GtkSkinFrame::Attach(GtkWindow* window, const SkinFrame::Style& style) {
  if (!window || window_ || g_object_get_data(G_OBJECT(window), kSkinFrameProperty)) return false;
  window_ = window;
  g_object_ref(window_);
  g_object_set_data(G_OBJECT(window_), kSkinFrameProperty, this);

  GtkWidget* widget = GTK_WIDGET(window_);
  gtk_window_set_decorated(window_, FALSE);
  gtk_widget_set_app_paintable(widget, TRUE);
  gtk_widget_add_events(widget, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                    GDK_BUTTON_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK |
                                    GDK_STRUCTURE_MASK | GDK_KEY_PRESS_MASK);
  GdkGeometry geometry{};
  geometry.min_width = 2 * kBorderWidth;
  geometry.min_height = kMinFrameHeight;
  gtk_window_set_geometry_hints(window_, nullptr, &geometry, GDK_HINT_MIN_SIZE);

  int width = 0, height = 0;
  gtk_window_get_size(window_, &width, &height);
  frame_.AttachStyle(style, width, window_);
  BuildMenu();

  g_signal_connect(widget, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnMotion), this);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(OnPress), this);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(OnRelease), this);
  g_signal_connect(widget, "leave-notify-event", G_CALLBACK(OnLeave), this);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(widget, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect_after(widget, "size-allocate", G_CALLBACK(OnSizeAllocate), this);
  g_signal_connect(widget, "destroy", G_CALLBACK(OnDestroy), this);
  g_signal_connect_swapped(widget, "notify::title", G_CALLBACK(gtk_widget_queue_draw), widget);
  if (GdkWindow* native = gtk_widget_get_window(widget)) gdk_window_raise(native);
  return true;
}

void GtkSkinFrame::Detach() {
  if (!window_) return;
  g_signal_handlers_disconnect_by_data(window_, this);
  g_signal_handlers_disconnect_by_func(window_, reinterpret_cast<gpointer>(gtk_widget_queue_draw),
                                       window_);
  g_object_set_data(G_OBJECT(window_), kSkinFrameProperty, nullptr);
  if (menu_) {
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
    menu_ = nullptr;
  }
  g_object_unref(window_);
  window_ = nullptr;
}

void GtkSkinFrame::FrameClient(GtkWidget* child) {
  gtk_widget_set_margin_top(child, kCaptionHeight);
  gtk_widget_set_margin_start(child, kBorderWidth);
  gtk_widget_set_margin_end(child, kBorderWidth);
  gtk_widget_set_margin_bottom(child, kBorderWidth);
}

void GtkSkinFrame::Invalidate() {
  if (window_) gtk_widget_queue_draw(GTK_WIDGET(window_));
}

const Image* GtkSkinFrame::SmallIcon() {
  GdkPixbuf* source = gtk_window_get_icon(window_);
  if (!source) return nullptr;
  if (source != icon_source_) {
    icon_source_ = source;
    // Scaled smoothly here: the frame draws it at small-icon size without smoothing.
    GdkPixbuf* scaled =
        gdk_pixbuf_scale_simple(source, kSmallIconSize, kSmallIconSize, GDK_INTERP_BILINEAR);
    icon_ = ImageFromPixbuf(scaled);
    if (scaled) g_object_unref(scaled);
  }
  return icon_.Empty() ? nullptr : &icon_;
}

gboolean GtkSkinFrame::OnDraw(GtkWidget* widget, cairo_t* cr, GtkSkinFrame* self) {
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  const Rect clip{static_cast<int>(std::floor(x1)), static_cast<int>(std::floor(y1)),
                  static_cast<int>(std::ceil(x2)), static_cast<int>(std::ceil(y2))};
  const char* title = gtk_window_get_title(GTK_WINDOW(widget));
  self->frame_.Paint(self->surface_, width, height, self->SmallIcon(),
                     title ? FromUtf8(title) : std::u16string(), clip);
  cairo_surface_t* frame = CairoSurface(self->surface_);
  if (!frame) return FALSE;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, frame, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  return FALSE;  // the child draws itself over the client area
}

void GtkSkinFrame::UpdateCursor(FrameHit hit) {
  GdkWindow* native = gtk_widget_get_window(GTK_WIDGET(window_));
  if (!native || hit == cursor_hit_) return;
  cursor_hit_ = hit;
  GdkCursor* cursor = nullptr;
  if (const char* name = CursorName(hit))
    cursor = gdk_cursor_new_from_name(gdk_window_get_display(native), name);
  gdk_window_set_cursor(native, cursor);
  if (cursor) g_object_unref(cursor);
}

gboolean GtkSkinFrame::OnMotion(GtkWidget* widget, GdkEventMotion* event, GtkSkinFrame* self) {
  if (event->window != gtk_widget_get_window(widget)) return FALSE;
  const int x = static_cast<int>(event->x), y = static_cast<int>(event->y);
  if (self->drag_armed_ && (event->state & GDK_BUTTON1_MASK)) {
    if (std::fabs(event->x - self->press_x_) + std::fabs(event->y - self->press_y_) >=
        kDragThreshold) {
      self->drag_armed_ = false;
      gtk_window_begin_move_drag(self->window_, 1, static_cast<int>(event->x_root),
                                 static_cast<int>(event->y_root), event->time);
    }
    return TRUE;
  }
  self->UpdateCursor(self->frame_.HitTest(x, y, gtk_widget_get_allocated_width(widget),
                                          gtk_widget_get_allocated_height(widget),
                                          self->maximized_));
  if (self->frame_.PointerMoved(x, y)) self->Invalidate();
  return FALSE;
}

gboolean GtkSkinFrame::OnLeave(GtkWidget*, GdkEventCrossing*, GtkSkinFrame* self) {
  if (self->frame_.PointerLeft()) self->Invalidate();
  self->UpdateCursor(FrameHit::kClient);
  return FALSE;
}

gboolean GtkSkinFrame::OnPress(GtkWidget* widget, GdkEventButton* event, GtkSkinFrame* self) {
  if (event->window != gtk_widget_get_window(widget)) return FALSE;
  const int x = static_cast<int>(event->x), y = static_cast<int>(event->y);
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  const FrameHit hit = self->frame_.HitTest(x, y, width, height, self->maximized_);
  if (event->button == 3) {
    if (hit == FrameHit::kCaption || hit == FrameHit::kSysMenu) {
      self->ShowSystemMenu(reinterpret_cast<GdkEvent*>(event));
      return TRUE;
    }
    return FALSE;
  }
  if (event->button != 1) return FALSE;
  if (event->type == GDK_2BUTTON_PRESS) {
    self->drag_armed_ = false;
    if (self->frame_.DoubleClicked(x, y)) ToggleMaximized(self->window_, self->maximized_);
    self->Invalidate();
    return TRUE;
  }
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  if (self->frame_.PointerPressed(x, y)) {
    self->Invalidate();
    return TRUE;
  }
  GdkWindowEdge edge;
  if (hit == FrameHit::kSysMenu) {
    self->ShowSystemMenu(reinterpret_cast<GdkEvent*>(event));
  } else if (hit == FrameHit::kCaption) {
    self->drag_armed_ = true;
    self->press_x_ = event->x;
    self->press_y_ = event->y;
  } else if (EdgeOf(hit, edge)) {
    gtk_window_begin_resize_drag(self->window_, edge, 1, static_cast<int>(event->x_root),
                                 static_cast<int>(event->y_root), event->time);
  } else {
    return FALSE;
  }
  return TRUE;
}

gboolean GtkSkinFrame::OnRelease(GtkWidget* widget, GdkEventButton* event, GtkSkinFrame* self) {
  if (event->button != 1 || event->window != gtk_widget_get_window(widget)) return FALSE;
  self->drag_armed_ = false;
  const int x = static_cast<int>(event->x), y = static_cast<int>(event->y);
  const int32_t id = self->frame_.HitTestButton(x, y);
  const CaptionAction action = self->frame_.PointerReleased(x, y, self->maximized_);
  self->Invalidate();
  if (action == CaptionAction::kNone) return FALSE;
  self->Perform(action, id);
  return TRUE;
}

void GtkSkinFrame::Perform(CaptionAction action, int32_t command_id) {
  if (!window_) return;
  GtkWindow* window = window_;
  switch (action) {
    case CaptionAction::kClose: gtk_window_close(window); break;
    case CaptionAction::kMaximize: gtk_window_maximize(window); break;
    case CaptionAction::kRestore: gtk_window_unmaximize(window); break;
    case CaptionAction::kMinimize: gtk_window_iconify(window); break;
    case CaptionAction::kBind:
      if (on_bind)
        on_bind();
      else
        RunBindAction([window] { gtk_window_close(window); });
      break;
    case CaptionAction::kPay:
      if (on_pay)
        on_pay();
      else
        RunPayAction();
      break;
    case CaptionAction::kCommand:
      if (on_command) on_command(command_id);
      break;
    case CaptionAction::kNone: break;
  }
}

gboolean GtkSkinFrame::OnKey(GtkWidget*, GdkEventKey* event, GtkSkinFrame* self) {
  if (event->keyval == GDK_KEY_F4 && (event->state & GDK_MOD1_MASK)) {
    self->Perform(CaptionAction::kClose, kCaptionCloseButton);
    return TRUE;
  }
  return FALSE;
}

gboolean GtkSkinFrame::OnWindowState(GtkWidget*, GdkEventWindowState* event, GtkSkinFrame* self) {
  self->maximized_ = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  self->Invalidate();
  return FALSE;
}

void GtkSkinFrame::OnSizeAllocate(GtkWidget* widget, GdkRectangle*, GtkSkinFrame* self) {
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  if (width == self->width_ && height == self->height_) return;
  self->width_ = width;
  self->height_ = height;
  self->UpdateShape(width, height);
  self->frame_.LayoutButtons(width);
  self->Invalidate();
}

void GtkSkinFrame::UpdateShape(int width, int height) {
  cairo_region_t* region = cairo_region_create();
  for (const Rect& band : RoundedOutlineBands(width, height)) {
    const cairo_rectangle_int_t rect{band.left, band.top, band.Width(), band.Height()};
    cairo_region_union_rectangle(region, &rect);
  }
  gtk_widget_shape_combine_region(GTK_WIDGET(window_), region);
  cairo_region_destroy(region);
}

void GtkSkinFrame::OnDestroy(GtkWidget*, GtkSkinFrame* self) {
  self->Detach();
}

void GtkSkinFrame::BuildMenu() {
  menu_ = gtk_menu_new();
  g_object_ref_sink(menu_);
  const char* labels[4] = {"还原(_R)", "最小化(_N)", "最大化(_X)", "关闭(_C)\tAlt+F4"};
  const CaptionAction actions[4] = {CaptionAction::kRestore, CaptionAction::kMinimize,
                                    CaptionAction::kMaximize, CaptionAction::kClose};
  for (int i = 0; i < 4; ++i) {
    if (i == 3) gtk_menu_shell_append(GTK_MENU_SHELL(menu_), gtk_separator_menu_item_new());
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(labels[i]);
    g_object_set_data(G_OBJECT(item), "fernlite-action",
                      GINT_TO_POINTER(static_cast<int>(actions[i])));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* item, GtkSkinFrame* self) {
                       const auto action = static_cast<CaptionAction>(
                           GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "fernlite-action")));
                       self->Perform(action, kCaptionCloseButton);
                     }),
                     this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_), item);
    menu_items_[i] = item;
  }
  gtk_widget_show_all(menu_);
}

void GtkSkinFrame::ShowSystemMenu(const GdkEvent* event) {
  if (!menu_) return;
  const SkinFrame::Style& style = frame_.WindowStyle();
  gtk_widget_set_sensitive(menu_items_[0], maximized_);
  gtk_widget_set_sensitive(menu_items_[1], style.has_minimize);
  gtk_widget_set_sensitive(menu_items_[2], style.has_maximize && !maximized_);
  gtk_widget_set_sensitive(menu_items_[3], style.has_system_menu);
  gtk_menu_popup_at_pointer(GTK_MENU(menu_), event);
}

}  // namespace fernlite
