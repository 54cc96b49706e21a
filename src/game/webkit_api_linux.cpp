#include "game/webkit_api_linux.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "game/renderer_choice.h"
#include "game/renderer_choice_linux.h"

namespace fernlite {

namespace {

const WebKitApi* g_loaded = nullptr;

}  // namespace

std::unique_ptr<WebKitApi> OpenWebKitLibrary(const char* file, std::string* error) {
  // Local: the engine's symbols serve this table only and cannot stand in for anyone else's.
  void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = dlerror();
    if (error) *error = reason ? reason : file;
    return nullptr;
  }
  auto api = std::make_unique<WebKitApi>();
  std::string missing;
#define FERNLITE_WEBKIT_RESOLVE(name)                                     \
  api->name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  if (!api->name) missing += missing.empty() ? #name : ", " #name;
  FERNLITE_WEBKIT_FUNCTIONS(FERNLITE_WEBKIT_RESOLVE)
#undef FERNLITE_WEBKIT_RESOLVE
  if (!missing.empty()) {
    // Not the engine this program was built for; what it did resolve is not used.
    if (error) *error = std::string(file) + " lacks " + missing;
    return nullptr;
  }
  return api;
}

const WebKitApi* LoadWebKit() {
  static const WebKitApi* const api = [] {
    std::string error;
    std::unique_ptr<WebKitApi> opened = OpenWebKitLibrary(kWebKitLibrary, &error);
    if (!opened) std::fprintf(stderr, "web engine not available: %s\n", error.c_str());
    return opened.release();  // for the process's lifetime, like the library
  }();
  g_loaded = api;
  return api;
}

bool WebKitLoaded() {
  return g_loaded != nullptr;
}

const WebKitApi& WebKit() {
  const WebKitApi* api = LoadWebKit();
  if (!api) std::abort();
  return *api;
}

WebKitWebView* AsWebView(gpointer object) {
  if (!g_loaded || !object) return nullptr;
  const GType type = g_loaded->webkit_web_view_get_type();
  return G_TYPE_CHECK_INSTANCE_TYPE(object, type) ? static_cast<WebKitWebView*>(object) : nullptr;
}

WebKitWebView* NewWebView() {
  const WebKitApi* api = LoadWebKit();
  if (!api) return nullptr;
  WebKitWebView* view = AsWebView(api->webkit_web_view_new());
  if (!view) return nullptr;
  if (ChooseRenderer(CurrentDisplayFacts()) == Renderer::kSoftware) {
    api->webkit_settings_set_hardware_acceleration_policy(
        api->webkit_web_view_get_settings(view), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  return view;
}

}  // namespace fernlite
