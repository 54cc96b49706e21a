// The Linux build's own parser of page input: the messages a page posts to window.external.

#include <string>

#include "app/run_settings.h"
#include "fuzz/fuzz_targets.h"
#include "game/page_origin.h"
#include "game/script_bridge_linux.h"
#include "game/webkit_api_linux.h"

namespace fernlite::fuzz {
namespace {

// A posted message as JSON (what a page can build is what JSON can describe, and parsing it
// runs no page code); with the page script's token half the time, so the dispatch behind the
// check is reached too.
int ScriptMessage(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static JSCContext* context = WebKit().jsc_context_new();
  std::string json(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((data[0] & 1) && json.size() > 1 && json.front() == '{') {
    json.insert(1, "\"token\":\"" + BridgeToken() + "\",");
  }
  JSCValue* message = WebKit().jsc_value_new_from_json(context, json.c_str());
  if (WebKit().jsc_context_get_exception(context)) WebKit().jsc_context_clear_exception(context);
  if (!message) return 0;
  RunSettings settings;
  ScriptBridge bridge(settings);
  if (std::optional<BridgeMessage> parsed = ParseBridgeMessage(message)) {
    // The user data methods write beside the program: left to the ordinary tests.
    const std::int32_t dispid = LookupDispId(parsed->method);
    if (dispid != kDispWriteUserDataToFile && dispid != kDispReadUserDataFromFile) {
      HandleBridgeMessage(bridge, message, PlatformOrigins().front() + u"/guest/c1/");
    }
  }
  g_object_unref(message);
  return 0;
}

constexpr Target kTargets[] = {{"script_message", &ScriptMessage}};

}  // namespace

std::span<const Target> PlatformTargets() {
  return kTargets;
}

}  // namespace fernlite::fuzz
