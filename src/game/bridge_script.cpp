#include "game/bridge_script.h"

#include <cstdio>
#include <random>

#include "game/page_origin.h"
#include "game/script_bridge.h"

namespace fernlite {
namespace {

// The page side. Failures throw like the Windows browser's script engine reports a failed
// call: wrong counts "Unspecified error", GetChannelID "Not implemented", and arguments that
// cannot become the expected type "Type mismatch" (conversions follow VariantChangeType:
// numbers round half to even, true is -1, undefined is 0 or the empty text, null fails).
constexpr char kScriptBody[] = R"JS(
  // Frames of other origins, and pages the browser was led to, get nothing.
  if (typeof location === 'undefined' || origins.indexOf(location.origin) < 0 ||
      window.top !== window) {
    return;
  }
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
      if (handler) handler.postMessage({method: name, args: args, token: token});
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
    table.append("[").append(JsStringLiteral(method.name)).append(", ");
    table.append(std::to_string(method.arg_count)).append(", '").append(types).append("', '");
    table.append(1, ActionCode(method.dispid)).append("']");
  }
  return table + "]";
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

std::string BuildBridgeUserScript(std::u16string_view user_data,
                                  const std::vector<std::u16string>& origins,
                                  std::string_view token) {
  std::string script = "(function () {\n  'use strict';\n  var origins = [";
  for (size_t i = 0; i < origins.size(); ++i) {
    if (i > 0) script += ", ";
    script += JsStringLiteral(origins[i]);
  }
  script += "];\n  var token = ";
  script += JsStringLiteral(std::u16string(token.begin(), token.end()));
  script += ";\n  var userData = ";
  script += JsStringLiteral(user_data);
  script += ";\n  var methods = ";
  script += MethodTable();
  script += ";";
  script += kScriptBody;
  return script;
}

std::string BuildBridgeUserScript(std::u16string_view user_data) {
  return BuildBridgeUserScript(user_data, PlatformOrigins(), BridgeToken());
}

const std::string& BridgeToken() {
  static const std::string& token = *[] {
    std::random_device random;
    auto* text = new std::string;
    for (int i = 0; i < 4; ++i) {
      char part[9];
      std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
      *text += part;
    }
    return text;
  }();
  return token;
}

std::string BuildUserDataRefreshScript(std::u16string_view user_data) {
  return "if (window.external && window.external.__fernliteUserData) "
         "window.external.__fernliteUserData(" +
         JsStringLiteral(user_data) + ");";
}

}  // namespace fernlite
