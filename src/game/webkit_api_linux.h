// The web engine, opened at run time. The program links nothing of WebKit: loading and
// relocating its libraries at exec was most of the time before the launcher frame appeared,
// so the engine is opened when the first web view is made, after the frame is on screen.
// The headers give the types and constants; every function goes through WebKit().
#pragma once

#include <webkit2/webkit2.h>

#include <memory>
#include <string>

namespace fernlite {

// The engine's shared object; its own dependencies (JavaScriptCore, libsoup) come with it.
inline constexpr char kWebKitLibrary[] = "libwebkit2gtk-4.1.so.0";

// Every engine function the program and its tests call.
#define FERNLITE_WEBKIT_FUNCTIONS(X)                               \
  X(jsc_context_clear_exception)                                   \
  X(jsc_context_evaluate)                                          \
  X(jsc_context_get_exception)                                     \
  X(jsc_context_new)                                               \
  X(jsc_exception_get_message)                                     \
  X(jsc_exception_get_name)                                        \
  X(jsc_value_is_array)                                            \
  X(jsc_value_is_boolean)                                          \
  X(jsc_value_is_number)                                           \
  X(jsc_value_is_object)                                           \
  X(jsc_value_is_string)                                           \
  X(jsc_value_new_from_json)                                       \
  X(jsc_value_object_get_property)                                 \
  X(jsc_value_object_get_property_at_index)                        \
  X(jsc_value_to_boolean)                                          \
  X(jsc_value_to_int32)                                            \
  X(jsc_value_to_string)                                           \
  X(jsc_value_to_string_as_bytes)                                  \
  X(webkit_javascript_result_get_js_value)                         \
  X(webkit_navigation_action_get_request)                          \
  X(webkit_navigation_policy_decision_get_navigation_action)       \
  X(webkit_navigation_policy_decision_get_type)                    \
  X(webkit_policy_decision_ignore)                                 \
  X(webkit_settings_get_hardware_acceleration_policy)              \
  X(webkit_settings_set_hardware_acceleration_policy)              \
  X(webkit_settings_set_javascript_can_open_windows_automatically) \
  X(webkit_uri_request_get_uri)                                    \
  X(webkit_user_content_manager_add_script)                        \
  X(webkit_user_content_manager_add_style_sheet)                   \
  X(webkit_user_content_manager_register_script_message_handler)   \
  X(webkit_user_content_manager_remove_script)                     \
  X(webkit_user_script_new)                                        \
  X(webkit_user_script_unref)                                      \
  X(webkit_user_style_sheet_new)                                   \
  X(webkit_user_style_sheet_unref)                                 \
  X(webkit_web_view_evaluate_javascript)                           \
  X(webkit_web_view_evaluate_javascript_finish)                    \
  X(webkit_web_view_get_settings)                                  \
  X(webkit_web_view_get_type)                                      \
  X(webkit_web_view_get_uri)                                       \
  X(webkit_web_view_get_user_content_manager)                      \
  X(webkit_web_view_is_loading)                                    \
  X(webkit_web_view_load_html)                                     \
  X(webkit_web_view_load_uri)                                      \
  X(webkit_web_view_new)

struct WebKitApi {
#define FERNLITE_WEBKIT_SLOT(name) decltype(&::name) name = nullptr;
  FERNLITE_WEBKIT_FUNCTIONS(FERNLITE_WEBKIT_SLOT)
#undef FERNLITE_WEBKIT_SLOT
};

// Opens `file` and resolves every function of the table; null, with the reason in `error`,
// when the library or any one function is missing. The library stays open.
std::unique_ptr<WebKitApi> OpenWebKitLibrary(const char* file, std::string* error);

// The process's engine, opened on the first call (main thread). Null when it cannot be opened;
// the reason is written to standard error once and later calls do not try again.
const WebKitApi* LoadWebKit();
// Whether the engine has been opened; never opens it.
bool WebKitLoaded();
// The engine's functions, for code that holds a web object (which means it is open) and for
// tests. Ends the process when the engine cannot be opened.
const WebKitApi& WebKit();

// `object` as a web view, or null when it is none. Never opens the engine: while it is closed
// no web view can exist.
WebKitWebView* AsWebView(gpointer object);

// A new web view drawn by the renderer the display calls for (game/renderer_choice.h); null
// when the engine cannot be opened.
WebKitWebView* NewWebView();

}  // namespace fernlite
