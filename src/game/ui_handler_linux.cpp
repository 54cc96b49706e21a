#include "game/ui_handler_linux.h"

#include "game/script_bridge_linux.h"

namespace fernlite {

namespace {

constexpr char kConfiguredKey[] = "fernlite-ui-handler";
constexpr char kStyleKey[] = "fernlite-no-scroll-style";

gboolean SuppressContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                             gpointer) {
  return TRUE;  // handled: nothing is shown
}

}  // namespace

void ConfigureWebView(WebKitWebView* view) {
  if (!view || g_object_get_data(G_OBJECT(view), kConfiguredKey)) return;
  g_object_set_data(G_OBJECT(view), kConfiguredKey, GINT_TO_POINTER(1));

  g_signal_connect(view, "context-menu", G_CALLBACK(SuppressContextMenu), nullptr);

  // A web view draws no frame of its own; only the page's scroll bars need removing.
  WebKitUserContentManager* manager = WebKit().webkit_web_view_get_user_content_manager(view);
  if (!g_object_get_data(G_OBJECT(manager), kStyleKey)) {
    WebKitUserStyleSheet* sheet = WebKit().webkit_user_style_sheet_new(
        kNoScrollBarsStyle, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_STYLE_LEVEL_USER,
        nullptr, nullptr);
    WebKit().webkit_user_content_manager_add_style_sheet(manager, sheet);
    g_object_set_data_full(
        G_OBJECT(manager), kStyleKey, sheet,
        reinterpret_cast<GDestroyNotify>(WebKit().webkit_user_style_sheet_unref));
  }

  AttachScriptBridge(view);
}

}  // namespace fernlite
