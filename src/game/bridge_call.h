// "call METHOD JSON-ARRAY": a call of window.external written as a line of text, the way the
// test harness and the demo drive the launcher's page from outside.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fernlite {

// One argument as JSON gives it: null, a boolean, a 32-bit integer or a text.
using CallArgument = std::variant<std::monostate, bool, std::int32_t, std::u16string>;

struct BridgeCall {
  std::u16string method;
  std::vector<CallArgument> arguments;  // in call order, as a page would write them
};

// Parses "call NAME [ ... ]" (UTF-8). The array holds strings (JSON escapes, \u included),
// integers within 32 bits, true, false and null; nullopt for anything else, for a method name
// that is not a plain identifier, or for more than kMaxCallArguments arguments.
inline constexpr size_t kMaxCallArguments = 16;
std::optional<BridgeCall> ParseBridgeCall(std::string_view line);

// The same call as a JavaScript statement for a page (texts as string literals).
std::string BridgeCallScript(const BridgeCall& call);

}  // namespace fernlite
