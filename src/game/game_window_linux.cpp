#include "game/game_window_linux.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/run_settings.h"
#include "app/startup.h"
#include "game/guest_link.h"
#include "game/ui_handler_linux.h"
#include "platform/text.h"
#include "skin/translucent_linux.h"

extern "C" GResource* fernlite_get_resource(void);

namespace fernlite {

namespace {

GdkPixbuf* LoadWindowIcon() {
  GInputStream* stream =
      g_resource_open_stream(fernlite_get_resource(), "/org/fernlite/images/127.png",
                             G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!stream) return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_stream(stream, nullptr, nullptr);
  g_object_unref(stream);
  return pixbuf;
}

void ShowCreateFailure() {
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                             ToUtf8(kGameCreateFailedText).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), ToUtf8(kGameCreateFailedCaption).c_str());
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

std::u16string NavigationUri(WebKitNavigationAction* action) {
  WebKitURIRequest* request =
      action ? WebKit().webkit_navigation_action_get_request(action) : nullptr;
  const char* uri = request ? WebKit().webkit_uri_request_get_uri(request) : nullptr;
  return uri ? FromUtf8(uri) : std::u16string();
}

}  // namespace

void ReportTestEvent(const std::string& line) {
  const char* flag = std::getenv("FERNLITE_TEST_EVENTS");
  if (!flag || std::strcmp(flag, "1") != 0) return;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

CWebGameDlg::CWebGameDlg(GameWindowRequest request)
    : create_browser(NewWebView),
      show_create_failure(ShowCreateFailure),
      open_new_window([](std::u16string_view uri) { HandleNewWindowRequest(uri); }),
      request_(std::move(request)) {}

CWebGameDlg::~CWebGameDlg() {
  if (window_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    if (!closed_) gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
  }
  if (loop_) g_main_loop_unref(loop_);
}

bool CWebGameDlg::Create() {
  if (window_) return false;
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (!widget) return false;
  window_ = GTK_WINDOW(g_object_ref_sink(widget));
  g_signal_connect(widget, "destroy", G_CALLBACK(OnDestroy), this);
  g_signal_connect(widget, "map-event", G_CALLBACK(OnMap), this);

  const Rect area = PrimaryWorkArea();
  const WindowSize size = InitialWindowSize(request_, {area.Width(), area.Height()});
  gtk_window_set_default_size(window_, size.width, size.height);
  host_.Attach(window_, SkinFrame::Style{});
  AddGameCaptionItems(frame_, size.width, request_.player_name);
  gtk_window_set_title(window_, ToUtf8(request_.title).c_str());
  if (GdkPixbuf* icon = LoadWindowIcon()) {
    gtk_window_set_icon(window_, icon);
    g_object_unref(icon);
  }

  view_ = create_browser ? create_browser() : nullptr;
  if (!view_) {
    ReportTestEvent("game-window-create-failed");
    if (show_create_failure) show_create_failure();
    gtk_widget_destroy(widget);
    return true;
  }
  ConfigureWebView(view_);
  // Game pages never open windows of their own; window.open has to reach the rule below.
  WebKitSettings* settings = WebKit().webkit_web_view_get_settings(view_);
  WebKit().webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
  GtkSkinFrame::FrameClient(GTK_WIDGET(view_));
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
  WebKit().webkit_web_view_load_uri(view_, ToUtf8(request_.url).c_str());

  gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
  gtk_widget_show_all(widget);
  if (request_.start_maximized) gtk_window_maximize(window_);
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  return true;
}

void CWebGameDlg::Run() {
  if (closed_ || !window_) return;
  loop_ = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop_);
}

void CWebGameDlg::OnDestroy(GtkWidget*, CWebGameDlg* self) {
  self->closed_ = true;
  self->view_ = nullptr;
  ReportTestEvent("game-window-closed");
  if (self->loop_) g_main_loop_quit(self->loop_);
}

gboolean CWebGameDlg::OnMap(GtkWidget*, GdkEvent*, CWebGameDlg* self) {
  const bool guest = IsGuestPlayer(self->request_.player_name);
  const CDUIButton* label = self->frame_.Button(kCaptionGreeting);
  ReportTestEvent("game-window-mapped title=" + ToUtf8(self->request_.title) +
                  " greeting=" + (label ? ToUtf8(label->text) : std::string()) +
                  " action=" + (guest ? "bind" : "pay"));
  return FALSE;
}

gboolean CWebGameDlg::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type, CWebGameDlg* self) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
  WebKitNavigationAction* action = WebKit().webkit_navigation_policy_decision_get_navigation_action(
      G_TYPE_CHECK_INSTANCE_CAST(decision, WebKit().webkit_navigation_policy_decision_get_type(),
                                 WebKitNavigationPolicyDecision));
  const std::u16string uri = NavigationUri(action);
  WebKit().webkit_policy_decision_ignore(decision);
  ReportTestEvent("game-window-new-window uri=" + ToUtf8(uri));
  self->open_new_window(uri);
  return TRUE;
}

GtkWidget* CWebGameDlg::OnCreate(WebKitWebView*, WebKitNavigationAction* action,
                                 CWebGameDlg* self) {
  const std::u16string uri = NavigationUri(action);
  ReportTestEvent("game-window-new-window uri=" + ToUtf8(uri));
  self->open_new_window(uri);
  return nullptr;  // no window is made
}

int RunGameWindowDialog() {
  if (!gtk_init_check(nullptr, nullptr)) return kWindowNotCreated;
  CWebGameDlg dialog(RequestFromSettings(Settings()));
  if (!dialog.Create()) return kWindowNotCreated;
  dialog.Run();
  return kWindowClosed;
}

}  // namespace fernlite
