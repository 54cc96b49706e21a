#include "game/script_bridge_linux.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/run_settings.h"
#include "identity/user_data.h"
#include "platform/text.h"

namespace fernlite {

namespace {

// The page side. Failures throw like the Windows browser's script engine reports a failed
// call: wrong counts "Unspecified error", GetChannelID "Not implemented", and arguments that
// cannot become the expected type "Type mismatch" (conversions follow VariantChangeType:
// numbers round half to even, true is -1, undefined is 0 or the empty text, null fails).
constexpr char kScriptBody[] = R"JS(
  var handler = window.webkit && window.webkit.messageHandlers &&
      window.webkit.messageHandlers.external;
  function mismatch() { throw new TypeError('Type mismatch'); }
  function roundHalfEven(n) {
    var f = Math.floor(n), d = n - f;
    if (d > 0.5) return f + 1;
    if (d < 0.5) return f;
    return f % 2 === 0 ? f : f + 1;
  }
  function toInt(v) {
    var n;
    if (typeof v === 'number') n = v;
    else if (typeof v === 'boolean') return v ? -1 : 0;
    else if (v === undefined) return 0;
    else if (typeof v === 'string' &&
             /^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$/.test(v)) n = Number(v);
    else mismatch();
    if (!isFinite(n)) mismatch();
    n = roundHalfEven(n);
    if (n < -2147483648 || n > 2147483647) mismatch();
    return n;
  }
  function toText(v) {
    if (typeof v === 'string') return v;
    if (v === undefined) return '';
    if (typeof v === 'number') return String(v);
    if (typeof v === 'boolean') return v ? '-1' : '0';
    mismatch();
  }
  var external = {};
  methods.forEach(function (m) {
    var name = m[0], count = m[1], types = m[2], action = m[3];
    external[name] = function () {
      if (action === 'x') throw new Error('Not implemented');
      if (action === 'n') return undefined;
      if (arguments.length !== count) throw new Error('Unspecified error');
      var args = [];
      for (var i = 0; i < count; ++i) {
        var t = types.charAt(i);
        args.push(t === 't' ? toText(arguments[i]) : t === '*' ? null : toInt(arguments[i]));
      }
      if (action === 'r') return userData;
      // The file keeps the text up to its first zero character.
      if (action === 'w') userData = args[0].split('\u0000')[0];
      if (handler) handler.postMessage({method: name, args: args});
      return undefined;
    };
  });
  Object.defineProperty(external, '__fernliteUserData', {
    value: function (text) { userData = String(text); }
  });
  try {
    Object.defineProperty(window, 'external',
                          {value: external, configurable: true, enumerable: true});
  } catch (e) {
    window.external = external;
  }
})();
)JS";

char TypeCode(ScriptArgType type) {
  switch (type) {
    case ScriptArgType::kText: return 't';
    case ScriptArgType::kInt32: return 'i';
    case ScriptArgType::kFlag16: return 'f';
    case ScriptArgType::kAny: break;
  }
  return '*';
}

char ActionCode(std::int32_t dispid) {
  switch (dispid) {
    case kDispGetChannelID: return 'x';
    case kDispAddFavorite: return 'n';
    case kDispReadUserDataFromFile: return 'r';
    case kDispWriteUserDataToFile: return 'w';
    default: return 'p';
  }
}

std::string MethodTable() {
  std::string table = "[";
  for (const BridgeMethod& method : BridgeMethods()) {
    if (table.size() > 1) table += ",\n    ";
    std::string types;
    for (const ScriptArgType type : method.arg_types) types += TypeCode(type);
    table += "[" + JsStringLiteral(method.name) + ", " + std::to_string(method.arg_count) + ", '" +
             types + "', '" + ActionCode(method.dispid) + "']";
  }
  return table + "]";
}

// Keeps zero characters, which a C string would cut off.
std::u16string JscString(JSCValue* value) {
  GBytes* bytes = jsc_value_to_string_as_bytes(value);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::u16string out = data ? FromUtf8(std::string_view(data, size)) : std::u16string();
  g_bytes_unref(bytes);
  return out;
}

ScriptValue ToScriptValue(JSCValue* value) {
  if (jsc_value_is_string(value)) return JscString(value);
  if (jsc_value_is_number(value)) return static_cast<std::int32_t>(jsc_value_to_int32(value));
  if (jsc_value_is_boolean(value)) return jsc_value_to_boolean(value) ? -1 : 0;
  return std::monostate();
}

std::unique_ptr<ScriptBridge> g_bridge;
std::vector<WebKitUserContentManager*> g_managers;
std::vector<WebKitWebView*> g_views;

constexpr char kScriptKey[] = "fernlite-bridge-script";

void OnManagerGone(gpointer, GObject* manager) {
  std::erase(g_managers, reinterpret_cast<WebKitUserContentManager*>(manager));
}

void OnViewGone(gpointer, GObject* view) {
  std::erase(g_views, reinterpret_cast<WebKitWebView*>(view));
}

void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
  if (ScriptBridge* bridge = ScriptBridgeObject()) {
    HandleBridgeMessage(*bridge, webkit_javascript_result_get_js_value(result));
  }
}

void SetManagerScript(WebKitUserContentManager* manager, std::u16string_view user_data) {
  const std::string source = BuildBridgeUserScript(user_data);
  WebKitUserScript* script =
      webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  if (auto* old =
          static_cast<WebKitUserScript*>(g_object_get_data(G_OBJECT(manager), kScriptKey))) {
    webkit_user_content_manager_remove_script(manager, old);
  }
  webkit_user_content_manager_add_script(manager, script);
  g_object_set_data_full(G_OBJECT(manager), kScriptKey, script,
                         reinterpret_cast<GDestroyNotify>(webkit_user_script_unref));
}

// Through the bridge when there is one, so the text comes from wherever the bridge keeps it.
std::u16string CurrentUserData() {
  ScriptBridge* bridge = ScriptBridgeObject();
  if (bridge && bridge->services().read_user_data) return bridge->services().read_user_data();
  return ReadUserData();
}

}  // namespace

std::string JsStringLiteral(std::u16string_view text) {
  std::string out = "\"";
  for (const char16_t c : text) {
    // Plain ASCII stays readable; everything that could end the literal or the script tag,
    // and all other characters, become \uXXXX escapes of their UTF-16 units.
    if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\' && c != u'<' && c != u'>') {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::string BuildBridgeUserScript(std::u16string_view user_data) {
  std::string script = "(function () {\n  'use strict';\n  var userData = ";
  script += JsStringLiteral(user_data);
  script += ";\n  var methods = ";
  script += MethodTable();
  script += ";";
  script += kScriptBody;
  return script;
}

std::string BuildUserDataRefreshScript(std::u16string_view user_data) {
  return "if (window.external && window.external.__fernliteUserData) "
         "window.external.__fernliteUserData(" +
         JsStringLiteral(user_data) + ");";
}

std::optional<BridgeMessage> ParseBridgeMessage(JSCValue* message) {
  if (!message || !jsc_value_is_object(message)) return std::nullopt;
  BridgeMessage parsed;
  JSCValue* method = jsc_value_object_get_property(message, "method");
  const bool has_method = jsc_value_is_string(method);
  if (has_method) parsed.method = JscString(method);
  g_object_unref(method);
  if (!has_method) return std::nullopt;

  JSCValue* args = jsc_value_object_get_property(message, "args");
  if (jsc_value_is_array(args)) {
    JSCValue* length_value = jsc_value_object_get_property(args, "length");
    const std::int32_t length = jsc_value_to_int32(length_value);
    g_object_unref(length_value);
    for (std::int32_t i = 0; i < length && i < 64; ++i) {
      JSCValue* element = jsc_value_object_get_property_at_index(args, static_cast<guint>(i));
      parsed.args.push_back(ToScriptValue(element));
      g_object_unref(element);
    }
  }
  g_object_unref(args);
  return parsed;
}

std::optional<BridgeResult> HandleBridgeMessage(ScriptBridge& bridge, JSCValue* message) {
  const std::optional<BridgeMessage> parsed = ParseBridgeMessage(message);
  if (!parsed) return std::nullopt;
  const BridgeMethod* method = FindBridgeMethod(parsed->method);
  if (!method) return std::nullopt;
  // A page may post to the handler directly, so the dispatch checks everything again.
  return bridge.Invoke(method->dispid, ValueArguments::FromCallOrder(parsed->args));
}

void CreateScriptBridge() {
  if (g_bridge) return;
  BridgeServices services = BridgeServices::Defaults();
  services.user_data_changed = RefreshUserDataCopies;
  g_bridge = std::make_unique<ScriptBridge>(Settings(), std::move(services));
}

void DeleteScriptBridge() {
  g_bridge.reset();
}

ScriptBridge* ScriptBridgeObject() {
  return g_bridge.get();
}

void InstallScriptBridge(WebKitUserContentManager* manager) {
  if (!manager) return;
  if (std::find(g_managers.begin(), g_managers.end(), manager) != g_managers.end()) return;
  g_signal_connect(manager, "script-message-received::external", G_CALLBACK(OnScriptMessage),
                   nullptr);
  webkit_user_content_manager_register_script_message_handler(manager, kBridgeMessageHandler);
  SetManagerScript(manager, CurrentUserData());
  g_managers.push_back(manager);
  g_object_weak_ref(G_OBJECT(manager), OnManagerGone, nullptr);
}

void AttachScriptBridge(WebKitWebView* view) {
  if (!view) return;
  InstallScriptBridge(webkit_web_view_get_user_content_manager(view));
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
    webkit_web_view_evaluate_javascript(view, refresh.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }
}

}  // namespace fernlite
