#include "game/script_bridge_linux.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/run_settings.h"
#include "game/page_origin.h"
#include "identity/user_data.h"
#include "platform/text.h"

namespace fernlite {

namespace {

// Keeps zero characters, which a C string would cut off.
std::u16string JscString(JSCValue* value) {
  GBytes* bytes = WebKit().jsc_value_to_string_as_bytes(value);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::u16string out = data ? FromUtf8(std::string_view(data, size)) : std::u16string();
  g_bytes_unref(bytes);
  return out;
}

ScriptValue ToScriptValue(JSCValue* value) {
  if (WebKit().jsc_value_is_string(value)) return JscString(value);
  if (WebKit().jsc_value_is_number(value))
    return static_cast<std::int32_t>(WebKit().jsc_value_to_int32(value));
  if (WebKit().jsc_value_is_boolean(value)) return WebKit().jsc_value_to_boolean(value) ? -1 : 0;
  return std::monostate();
}

std::vector<WebKitUserContentManager*> g_managers;
std::vector<WebKitWebView*> g_views;

constexpr char kScriptKey[] = "fernlite-bridge-script";

void OnManagerGone(gpointer, GObject* manager) {
  std::erase(g_managers, reinterpret_cast<WebKitUserContentManager*>(manager));
}

void OnViewGone(gpointer, GObject* view) {
  std::erase(g_views, reinterpret_cast<WebKitWebView*>(view));
}

void OnScriptMessage(WebKitUserContentManager* manager, WebKitJavascriptResult* result, gpointer) {
  ScriptBridge* bridge = ScriptBridgeObject();
  if (!bridge) return;
  // Every view has a manager of its own; the view tells which document is at the top.
  const char* uri = nullptr;
  for (WebKitWebView* view : g_views) {
    if (WebKit().webkit_web_view_get_user_content_manager(view) == manager)
      uri = WebKit().webkit_web_view_get_uri(view);
  }
  HandleBridgeMessage(*bridge, WebKit().webkit_javascript_result_get_js_value(result),
                      uri ? FromUtf8(uri) : std::u16string());
}

void SetManagerScript(WebKitUserContentManager* manager, std::u16string_view user_data) {
  const std::string source = BuildBridgeUserScript(user_data);
  WebKitUserScript* script = WebKit().webkit_user_script_new(
      source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  if (auto* old =
          static_cast<WebKitUserScript*>(g_object_get_data(G_OBJECT(manager), kScriptKey))) {
    WebKit().webkit_user_content_manager_remove_script(manager, old);
  }
  WebKit().webkit_user_content_manager_add_script(manager, script);
  g_object_set_data_full(G_OBJECT(manager), kScriptKey, script,
                         reinterpret_cast<GDestroyNotify>(WebKit().webkit_user_script_unref));
}

std::u16string CurrentUserData() {
  return ReadUserData();
}

}  // namespace

std::optional<BridgeMessage> ParseBridgeMessage(JSCValue* message) {
  if (!message || !WebKit().jsc_value_is_object(message)) return std::nullopt;
  BridgeMessage parsed;
  JSCValue* method = WebKit().jsc_value_object_get_property(message, "method");
  const bool has_method = WebKit().jsc_value_is_string(method);
  if (has_method) parsed.method = JscString(method);
  g_object_unref(method);
  if (!has_method) return std::nullopt;

  JSCValue* token = WebKit().jsc_value_object_get_property(message, "token");
  if (WebKit().jsc_value_is_string(token)) {
    char* text = WebKit().jsc_value_to_string(token);
    // A token is short; anything long is not one and need not be copied.
    if (text && std::strlen(text) <= 64) parsed.token = text;
    g_free(text);
  }
  g_object_unref(token);

  JSCValue* args = WebKit().jsc_value_object_get_property(message, "args");
  if (WebKit().jsc_value_is_array(args)) {
    JSCValue* length_value = WebKit().jsc_value_object_get_property(args, "length");
    const std::int32_t length = WebKit().jsc_value_to_int32(length_value);
    g_object_unref(length_value);
    for (std::int32_t i = 0; i < length && i < 64; ++i) {
      JSCValue* element =
          WebKit().jsc_value_object_get_property_at_index(args, static_cast<guint>(i));
      parsed.args.push_back(ToScriptValue(element));
      g_object_unref(element);
    }
  }
  g_object_unref(args);
  return parsed;
}

std::optional<BridgeResult> HandleBridgeMessage(ScriptBridge& bridge, JSCValue* message,
                                                std::u16string_view document_uri) {
  const std::optional<BridgeMessage> parsed = ParseBridgeMessage(message);
  if (!parsed) return std::nullopt;
  const BridgeMethod* method = FindBridgeMethod(parsed->method);
  if (!method) return std::nullopt;
  if (parsed->token != BridgeToken() || !MayUseBridge(document_uri, true)) {
    BridgeResult refused;
    refused.status = BridgeStatus::kRefused;
    return refused;
  }
  // A page may post to the handler directly, so the dispatch checks everything again.
  return bridge.Invoke(method->dispid, ValueArguments::FromCallOrder(parsed->args));
}

void CreateScriptBridge() {
  if (ScriptBridgeObject()) return;
  auto bridge = std::make_unique<ScriptBridge>(Settings());
  bridge->on_user_data_changed = RefreshUserDataCopies;
  AdoptScriptBridge(std::move(bridge));
}

void InstallScriptBridge(WebKitUserContentManager* manager) {
  if (!manager) return;
  if (std::find(g_managers.begin(), g_managers.end(), manager) != g_managers.end()) return;
  g_signal_connect(manager, "script-message-received::external", G_CALLBACK(OnScriptMessage),
                   nullptr);
  WebKit().webkit_user_content_manager_register_script_message_handler(manager,
                                                                       kBridgeMessageHandler);
  SetManagerScript(manager, CurrentUserData());
  g_managers.push_back(manager);
  g_object_weak_ref(G_OBJECT(manager), OnManagerGone, nullptr);
}

void AttachScriptBridge(WebKitWebView* view) {
  if (!view) return;
  InstallScriptBridge(WebKit().webkit_web_view_get_user_content_manager(view));
  if (std::find(g_views.begin(), g_views.end(), view) != g_views.end()) return;
  g_views.push_back(view);
  g_object_weak_ref(G_OBJECT(view), OnViewGone, nullptr);
}

void RefreshUserDataCopies() {
  const std::u16string user_data = CurrentUserData();
  // Pages loaded from now on get the new text in their script...
  for (WebKitUserContentManager* manager : g_managers) SetManagerScript(manager, user_data);
  // ...and pages already showing get their copy replaced.
  const std::string refresh = BuildUserDataRefreshScript(user_data);
  for (WebKitWebView* view : g_views) {
    WebKit().webkit_web_view_evaluate_javascript(view, refresh.c_str(), -1, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr);
  }
}

}  // namespace fernlite
