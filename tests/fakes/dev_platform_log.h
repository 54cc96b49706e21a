// Reading the development platform's request log: one JSON object per line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fernlite::test {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;                                        // kString
  std::vector<JsonValue> items;                            // kArray
  std::vector<std::pair<std::string, JsonValue>> members;  // kObject, in written order

  // The first member with that name, or nullptr (also for non-objects).
  const JsonValue* Find(std::string_view name) const;
  // The member's text when it is a string, else "".
  std::string Text(std::string_view name) const;
};

// Strict JSON (one value, nothing after it but blanks). Escapes \u0080 to \u00ff stand for
// the raw byte, which is how the server writes bytes that are not valid UTF-8; other escapes
// become UTF-8.
std::optional<JsonValue> ParseJson(std::string_view text);

// A log line: an object with the members every line carries (time, method, path, query,
// status, ua, http) of the right types; nullopt otherwise.
std::optional<JsonValue> ParseLogLine(std::string_view line);

// The parsed lines whose path is `path`, oldest first; lines that do not parse are skipped.
std::vector<JsonValue> LogEntriesForPath(const std::vector<std::string>& lines,
                                         std::string_view path);

}  // namespace fernlite::test
