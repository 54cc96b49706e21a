// window.external for WebKitGTK: a document-start user script defines the object; each call
// it accepts is posted to the script message handler "external" and dispatched here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "game/bridge_script.h"
#include "game/script_bridge.h"
#include "game/webkit_api_linux.h"

namespace fernlite {

// One posted call: the method name and the arguments in call order.
struct BridgeMessage {
  std::u16string method;
  std::vector<ScriptValue> args;
  std::string token;  // what the page script sends along (bridge_script.h)
};
std::optional<BridgeMessage> ParseBridgeMessage(JSCValue* message);
// Dispatches a posted call of the view's top-level document at `document_uri`; nullopt when
// the message is not a call of a known method. A call without the page script's token (a
// frame posting on its own) or from a document that may not use the bridge is refused and
// changes nothing.
std::optional<BridgeResult> HandleBridgeMessage(ScriptBridge& bridge, JSCValue* message,
                                                std::u16string_view document_uri);

// Makes the process's bridge (script_bridge.h) and lets it refresh the pages' copies of the
// user data after every write.
void CreateScriptBridge();

// Adds the user script and the message handler to a content manager (once per manager).
void InstallScriptBridge(WebKitUserContentManager* manager);
// The same for a view's manager; the view's page also gets fresh copies of the user data.
void AttachScriptBridge(WebKitWebView* view);
// Reads the user data again and hands it to every installed script and attached page.
void RefreshUserDataCopies();

}  // namespace fernlite
