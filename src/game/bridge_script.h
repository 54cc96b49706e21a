// The page side of window.external for web engines without a host object of their own: a
// document-start script that defines the object, checks counts and converts arguments the way
// the Windows script engine does, and posts every call to the program's message handler.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

// The message handler the script posts to (window.webkit.messageHandlers.external).
inline constexpr char kBridgeMessageHandler[] = "external";

// The user script, carrying `user_data` as the page's copy for ReadUserDataFromFile (which
// has to answer synchronously while every message to the program is asynchronous). It
// defines window.external only in a top-level document of one of `origins` and sends `token`
// with every call.
std::string BuildBridgeUserScript(std::u16string_view user_data,
                                  const std::vector<std::u16string>& origins,
                                  std::string_view token);
// The same for the platform's origins and this process's token.
std::string BuildBridgeUserScript(std::u16string_view user_data);

// A secret of this process (32 hex digits) that only the page script knows: a frame that has
// no script of its own can still post to the handler, but not with this.
const std::string& BridgeToken();
// Replaces the copy in a page that is already loaded.
std::string BuildUserDataRefreshScript(std::u16string_view user_data);
// A JavaScript string literal for any text.
std::string JsStringLiteral(std::u16string_view text);

}  // namespace fernlite
