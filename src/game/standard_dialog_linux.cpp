// The standard dialog on GTK: an undecorated RGBA window, transient for its owner, that paints
// nothing but its browser. Outside the browser rectangle it takes no input (input shape), so
// clicks reach the launcher frame underneath, as a colour-keyed layered window lets them through.
#include "game/standard_dialog_linux.h"

#include <gtk/gtk.h>

#include "game/game_window.h"
#include "game/ui_handler_linux.h"
#include "game/webkit_api_linux.h"
#include "platform/text.h"

namespace fernlite {

namespace {

cairo_region_t* BrowserRegion() {
  const cairo_rectangle_int_t rect{kGuestBrowserRect.left, kGuestBrowserRect.top,
                                   kGuestBrowserRect.Width(), kGuestBrowserRect.Height()};
  return cairo_region_create_rectangle(&rect);
}

class GtkStandardDialogWindow final : public StandardDialogWindow {
 public:
  ~GtkStandardDialogWindow() override {
    CancelPending();
    if (!window_) return;
    // Destroyed by its owner: no "closed by itself" notice.
    if (destroy_handler_) g_signal_handler_disconnect(window_, destroy_handler_);
    GtkWidget* window = window_;
    window_ = nullptr;
    browser_ = nullptr;
    gtk_widget_destroy(window);
    g_object_unref(window);
  }

  bool Create(CStandardDialog& dialog, NativeWindow owner) override {
    if (window_) return true;
    dialog_ = &dialog;
    owner_ = static_cast<GtkWidget*>(owner);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window);
    window_ = window;
    GtkWindow* gtk_window = GTK_WINDOW(window);
    gtk_window_set_decorated(gtk_window, FALSE);
    gtk_window_set_skip_taskbar_hint(gtk_window, TRUE);
    gtk_window_set_skip_pager_hint(gtk_window, TRUE);
    gtk_window_set_resizable(gtk_window, FALSE);
    if (owner_) gtk_window_set_transient_for(gtk_window, GTK_WINDOW(owner_));
    gtk_widget_set_app_paintable(window, TRUE);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window)))
      gtk_widget_set_visual(window, visual);
    // The dialog's own size until its owner places it: the template's 400 x 250 units.
    gtk_window_set_default_size(gtk_window, 600, 406);
    g_signal_connect(window, "draw", G_CALLBACK(&GtkStandardDialogWindow::OnDraw), nullptr);
    destroy_handler_ = g_signal_connect(window, "destroy",
                                        G_CALLBACK(&GtkStandardDialogWindow::OnDestroyed), this);

    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    gtk_widget_show(fixed);
    cairo_region_t* region = BrowserRegion();
    gtk_widget_input_shape_combine_region(window, region);
    if (!gdk_screen_is_composited(gtk_widget_get_screen(window)))
      gtk_widget_shape_combine_region(window, region);
    cairo_region_destroy(region);

    if (!owner_) {
      gtk_widget_show(window);
      return CreateBrowser();
    }
    // The window is first shown where it belongs: the owner's placing of it shows it, and by
    // then it has the owner's size (taken while the owner lays itself out, before it maps).
    // Shown at once it would appear for a moment at the origin in its own size.
    owner_size_handler_ = g_signal_connect(
        owner_, "size-allocate", G_CALLBACK(&GtkStandardDialogWindow::OnOwnerSized), this);
    if (gtk_widget_get_mapped(owner_)) {
      TakeOwnerPlace();
      gtk_widget_show(window);
      return CreateBrowser();
    }
    // Starting the web engine takes a while: the owner, about to appear, goes first, so the
    // player sees the launcher frame at once and the page follows.
    owner_map_handler_ = g_signal_connect(
        owner_, "map-event", G_CALLBACK(&GtkStandardDialogWindow::OnOwnerMapped), this);
    return true;
  }

  NativeWindow Handle() const override { return window_; }
  void* Browser() const override { return browser_; }

 private:
  bool CreateBrowser() {
    if (!window_ || browser_) return browser_ != nullptr;
    GtkWidget* fixed = gtk_bin_get_child(GTK_BIN(window_));
    WebKitWebView* view = NewWebView();
    if (!view) {
      GtkWidget* box =
          gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                 ToUtf8(kGameCreateFailedText).c_str());
      gtk_window_set_title(GTK_WINDOW(box), ToUtf8(kGameCreateFailedCaption).c_str());
      gtk_dialog_run(GTK_DIALOG(box));
      gtk_widget_destroy(box);
      gtk_widget_destroy(window_);  // closes itself, as the failed dialog does
      return false;
    }
    GtkWidget* widget = GTK_WIDGET(view);
    browser_ = widget;
    gtk_widget_set_size_request(widget, kGuestBrowserRect.Width(), kGuestBrowserRect.Height());
    gtk_fixed_put(GTK_FIXED(fixed), widget, kGuestBrowserRect.left, kGuestBrowserRect.top);
    ConfigureWebView(view);
    gtk_widget_show(widget);

    const std::string url = ToUtf8(GuestEntryUrl());
    WebKit().webkit_web_view_load_uri(view, url.c_str());
    return true;
  }

  // Until it is first shown the window keeps to the owner's place and size.
  void TakeOwnerPlace() {
    int x = 0, y = 0, width = 0, height = 0;
    gtk_window_get_position(GTK_WINDOW(owner_), &x, &y);
    gtk_window_get_size(GTK_WINDOW(owner_), &width, &height);
    gtk_window_move(GTK_WINDOW(window_), x, y);
    if (width > 0 && height > 0) gtk_window_resize(GTK_WINDOW(window_), width, height);
  }

  void CancelPending() {
    if (owner_map_handler_ && owner_) g_signal_handler_disconnect(owner_, owner_map_handler_);
    owner_map_handler_ = 0;
    if (owner_size_handler_ && owner_) g_signal_handler_disconnect(owner_, owner_size_handler_);
    owner_size_handler_ = 0;
    if (browser_idle_) g_source_remove(browser_idle_);
    browser_idle_ = 0;
  }

  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (gdk_screen_is_composited(gtk_widget_get_screen(widget))) {
      cairo_set_source_rgba(cr, 0, 0, 0, 0);  // the key colour's meaning: see-through
    } else {
      // Without a compositor nothing is see-through and the window is cut to the browser,
      // which shows this until the page's first frame: dark, not the glaring key colour.
      cairo_set_source_rgb(cr, 16 / 255.0, 16 / 255.0, 18 / 255.0);
    }
    cairo_paint(cr);
    cairo_restore(cr);
    return FALSE;  // the browser draws itself on top
  }

  static void OnOwnerSized(GtkWidget* owner, GdkRectangle* allocation, gpointer self_ptr) {
    auto* self = static_cast<GtkStandardDialogWindow*>(self_ptr);
    if (gtk_widget_get_visible(self->window_)) {
      // Shown: from now on the owner moves and sizes it.
      g_signal_handler_disconnect(owner, self->owner_size_handler_);
      self->owner_size_handler_ = 0;
      return;
    }
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(owner), &x, &y);
    gtk_window_move(GTK_WINDOW(self->window_), x, y);
    if (allocation->width > 0 && allocation->height > 0)
      gtk_window_resize(GTK_WINDOW(self->window_), allocation->width, allocation->height);
  }

  static gboolean OnOwnerMapped(GtkWidget* owner, GdkEvent*, gpointer self_ptr) {
    auto* self = static_cast<GtkStandardDialogWindow*>(self_ptr);
    g_signal_handler_disconnect(owner, self->owner_map_handler_);
    self->owner_map_handler_ = 0;
    if (!gtk_widget_get_visible(self->window_)) {
      // The owner did not place it on its way to the screen: it goes where the owner is.
      self->TakeOwnerPlace();
      gtk_widget_show(self->window_);
    }
    // After this event has been handled: the frame is on screen before the engine starts.
    self->browser_idle_ = g_idle_add(&GtkStandardDialogWindow::CreateBrowserLater, self);
    return FALSE;
  }

  static gboolean CreateBrowserLater(gpointer self_ptr) {
    auto* self = static_cast<GtkStandardDialogWindow*>(self_ptr);
    self->browser_idle_ = 0;
    self->CreateBrowser();
    return G_SOURCE_REMOVE;
  }

  static void OnDestroyed(GtkWidget*, gpointer self_ptr) {
    auto* self = static_cast<GtkStandardDialogWindow*>(self_ptr);
    self->CancelPending();
    g_object_unref(self->window_);
    self->window_ = nullptr;
    self->browser_ = nullptr;
    self->destroy_handler_ = 0;
    // May end in this object's destruction; nothing of it is touched afterwards.
    if (self->dialog_) self->dialog_->WindowDestroyedItself();
  }

  CStandardDialog* dialog_ = nullptr;
  GtkWidget* owner_ = nullptr;
  GtkWidget* window_ = nullptr;
  GtkWidget* browser_ = nullptr;
  gulong destroy_handler_ = 0;
  gulong owner_map_handler_ = 0;
  gulong owner_size_handler_ = 0;
  guint browser_idle_ = 0;
};

}  // namespace

std::unique_ptr<CSTDBackgroundDlg> MakeBackgroundDialog(NativeWindow owner) {
  auto dialog = std::make_unique<CSTDBackgroundDlg>(owner);
  dialog->AdoptWindow(std::make_unique<GtkStandardDialogWindow>());
  return dialog;
}

}  // namespace fernlite
