// The skinned frame on an undecorated GTK window: the frame is drawn on the window itself
// around its child, and pointer events on it move, size and maximise the window, press the
// caption buttons and open the window menu.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "skin/skin_frame.h"

namespace fernlite {

inline constexpr char kSkinFrameProperty[] = "PROP_SkinWndKTR";

class GtkSkinFrame {
 public:
  explicit GtkSkinFrame(SkinFrame& frame) : frame_(frame) {}
  ~GtkSkinFrame();
  GtkSkinFrame(const GtkSkinFrame&) = delete;
  GtkSkinFrame& operator=(const GtkSkinFrame&) = delete;

  // Takes the window over: no system decoration, the frame's buttons for this style, a
  // minimum height of the caption and bottom border. False when the window already has a
  // frame attached.
  bool Attach(GtkWindow* window, const SkinFrame::Style& style);
  void Detach();

  // Keeps the child clear of the caption band and the borders.
  static void FrameClient(GtkWidget* child);

  // The frame itself is redrawn on the next frame of the window.
  void Invalidate();

  bool Maximized() const { return maximized_; }
  GtkWindow* Window() const { return window_; }

  // Caption actions; the binding question and the pay link when not set.
  std::function<void()> on_bind;
  std::function<void()> on_pay;
  // A generic button's click (its command identifier).
  std::function<void(int32_t)> on_command;

  // Carries out what releasing the mouse over a caption button asked for.
  void Perform(CaptionAction action, int32_t command_id);
  // Opens the window menu (restore, minimise, maximise, close) at the pointer.
  void ShowSystemMenu(const GdkEvent* event);

 private:
  static gboolean OnDraw(GtkWidget*, cairo_t*, GtkSkinFrame*);
  static gboolean OnMotion(GtkWidget*, GdkEventMotion*, GtkSkinFrame*);
  static gboolean OnPress(GtkWidget*, GdkEventButton*, GtkSkinFrame*);
  static gboolean OnRelease(GtkWidget*, GdkEventButton*, GtkSkinFrame*);
  static gboolean OnLeave(GtkWidget*, GdkEventCrossing*, GtkSkinFrame*);
  static gboolean OnKey(GtkWidget*, GdkEventKey*, GtkSkinFrame*);
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState*, GtkSkinFrame*);
  static void OnSizeAllocate(GtkWidget*, GdkRectangle*, GtkSkinFrame*);
  static void OnDestroy(GtkWidget*, GtkSkinFrame*);

  void UpdateShape(int width, int height);
  void UpdateCursor(FrameHit hit);
  const Image* SmallIcon();
  void BuildMenu();

  SkinFrame& frame_;
  GtkWindow* window_ = nullptr;
  GtkWidget* menu_ = nullptr;
  GtkWidget* menu_items_[4] = {nullptr, nullptr, nullptr, nullptr};
  Image surface_;
  Image icon_;
  GdkPixbuf* icon_source_ = nullptr;  // the pixbuf icon_ was made from (not referenced)
  bool maximized_ = false;
  int width_ = -1;
  int height_ = -1;
  FrameHit cursor_hit_ = FrameHit::kClient;
  // A press on the caption starts a move only once the pointer moves, so double clicks stay
  // double clicks.
  bool drag_armed_ = false;
  double press_x_ = 0, press_y_ = 0;
};

}  // namespace fernlite
