#include "report_layout.h"

#include <array>
#include <cstdint>

namespace fernlite::devplatform {
namespace {

constexpr std::string_view kReportKey = "mordek_tyl";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "%d.%d.%d.%d" of a file version, or empty when the executable has none.
bool IsVersionText(std::string_view text) {
  if (text.empty()) return true;
  int parts = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = text.find('.', start);
    const std::string_view part =
        text.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (!AllDigits(part) || part.size() > 5) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

// 32 lower-case hexadecimal digits, or empty when the identifier could not be computed.
bool IsDeviceId(std::string_view text) {
  if (text.empty()) return true;
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Unix time sent as an unsigned 32-bit decimal.
bool IsUnixTime(std::string_view text) {
  if (!AllDigits(text) || text.size() > 10) return false;
  return std::stoull(std::string(text)) <= UINT32_MAX;
}

struct LayoutKey {
  std::string_view name;
  std::string_view fixed_value;  // empty: variable
};

std::string CheckLayout(const QueryFields& fields, const std::vector<LayoutKey>& layout,
                        std::string_view event_key, std::string_view time_key) {
  for (size_t i = 0; i < layout.size(); ++i) {
    if (i >= fields.size()) return "missing key " + std::string(layout[i].name);
    const auto& [key, value] = fields[i];
    if (key != layout[i].name) {
      return "key " + std::to_string(i) + " is '" + key + "', expected '" +
             std::string(layout[i].name) + "'";
    }
    if (!layout[i].fixed_value.empty() && value != layout[i].fixed_value) {
      return key + " is '" + value + "', expected '" + std::string(layout[i].fixed_value) + "'";
    }
    if (key == event_key && value.empty()) return "empty event code";
    if (key == "ver" && !IsVersionText(value)) return "ver is not a file version: " + value;
    if (key == "puid" && !IsDeviceId(value)) return "puid is not a device identifier: " + value;
    if (key == time_key && !IsUnixTime(value)) {
      return std::string(time_key) + " is not a unix time: " + value;
    }
  }
  if (fields.size() > layout.size()) return "unexpected key " + fields[layout.size()].first;
  return "";
}

}  // namespace

std::optional<std::string> DecodeBase64Strict(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t group = 0; group < text.size(); group += 4) {
    const bool last = group + 4 == text.size();
    std::array<int, 4> values{};
    int padding = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = text[group + j];
      if (c == '=' && last && j >= 2) {
        ++padding;
        values[j] = 0;
        continue;
      }
      if (padding > 0) return std::nullopt;  // data after '='
      values[j] = Base64Value(c);
      if (values[j] < 0) return std::nullopt;
    }
    const uint32_t bits =
        (static_cast<uint32_t>(values[0]) << 18) | (static_cast<uint32_t>(values[1]) << 12) |
        (static_cast<uint32_t>(values[2]) << 6) | static_cast<uint32_t>(values[3]);
    out += static_cast<char>((bits >> 16) & 0xFF);
    if (padding < 2) out += static_cast<char>((bits >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(bits & 0xFF);
  }
  return out;
}

std::string UnscrambleReport(std::string_view scrambled) {
  std::string plain(scrambled);
  for (size_t i = 0; i < plain.size(); ++i) {
    plain[i] = static_cast<char>(static_cast<unsigned char>(plain[i]) -
                                 static_cast<unsigned char>(kReportKey[i % kReportKey.size()]));
  }
  return plain;
}

QueryFields SplitQuery(std::string_view query) {
  QueryFields fields;
  if (query.empty()) return fields;
  size_t start = 0;
  while (true) {
    const size_t amp = query.find('&', start);
    const std::string_view pair =
        query.substr(start, amp == std::string_view::npos ? amp : amp - start);
    const size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      fields.emplace_back(std::string(pair), "");
    } else {
      fields.emplace_back(std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1)));
    }
    if (amp == std::string_view::npos) break;
    start = amp + 1;
  }
  return fields;
}

std::string CheckDataReport(const QueryFields& fields) {
  static const std::vector<LayoutKey> kLayout = {{"app", "jk"}, {"t", "wd"},  {"ev", ""},
                                                 {"ver", ""},   {"aid", ""},  {"cid", ""},
                                                 {"ccid", ""},  {"puid", ""}, {"etm", ""}};
  return CheckLayout(fields, kLayout, "ev", "etm");
}

std::string CheckStatsReport(const QueryFields& fields) {
  static const std::vector<LayoutKey> kLayout = {
      {"app", "game"}, {"evt", "jk"}, {"pos", "wd"}, {"f", "client"}, {"stat", ""}, {"ver", ""},
      {"gid", ""},     {"cid", ""},   {"ccid", ""},  {"puid", ""},    {"tm", ""}};
  return CheckLayout(fields, kLayout, "stat", "tm");
}

}  // namespace fernlite::devplatform
