// The game window in GTK terms: an undecorated window dressed by the skinned frame, its
// client area taken by one web view.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "game/game_window.h"
#include "game/webkit_api_linux.h"
#include "skin/skin_frame.h"
#include "skin/skin_frame_linux.h"

namespace fernlite {

class CWebGameDlg {
 public:
  explicit CWebGameDlg(GameWindowRequest request);
  ~CWebGameDlg();
  CWebGameDlg(const CWebGameDlg&) = delete;
  CWebGameDlg& operator=(const CWebGameDlg&) = delete;

  // Makes and shows the window, loading the game. False when no window could be made. When
  // the browser cannot be made the player is told so and the window is closed again (true:
  // the window did exist).
  bool Create();
  // Runs the window's own loop until it is destroyed.
  void Run();
  bool Closed() const { return closed_; }

  GtkWindow* Window() const { return window_; }
  WebKitWebView* WebView() const { return view_; }
  SkinFrame& Frame() { return frame_; }
  GtkSkinFrame& FrameHost() { return host_; }
  const GameWindowRequest& Request() const { return request_; }

  // Where the window gets its browser, tells of a failure and sends new-window addresses;
  // replaceable before Create.
  std::function<WebKitWebView*()> create_browser;
  std::function<void()> show_create_failure;
  std::function<void(std::u16string_view)> open_new_window;

 private:
  static void OnDestroy(GtkWidget*, CWebGameDlg*);
  static gboolean OnMap(GtkWidget*, GdkEvent*, CWebGameDlg*);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                 CWebGameDlg*);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, CWebGameDlg*);

  GameWindowRequest request_;
  SkinFrame frame_;
  GtkSkinFrame host_{frame_};
  GtkWindow* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  GMainLoop* loop_ = nullptr;
  bool closed_ = false;
};

// Writes one line about a window event to stdout when FERNLITE_TEST_EVENTS is "1".
void ReportTestEvent(const std::string& line);

}  // namespace fernlite
