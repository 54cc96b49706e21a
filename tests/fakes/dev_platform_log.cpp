#include "fakes/dev_platform_log.h"

#include <cstdlib>

namespace fernlite::test {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document() {
    std::optional<JsonValue> value = Value(0);
    SkipBlanks();
    if (!value || pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  static constexpr int kMaxDepth = 32;

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
  }

  bool Consume(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<JsonValue> Value(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    SkipBlanks();
    if (pos_ >= text_.size()) return std::nullopt;
    JsonValue value;
    const char c = text_[pos_];
    if (c == '{') return Object(depth);
    if (c == '[') return Array(depth);
    if (c == '"') {
      std::optional<std::string> text = String();
      if (!text) return std::nullopt;
      value.kind = JsonValue::Kind::kString;
      value.text = std::move(*text);
      return value;
    }
    if (Consume("true")) {
      value.kind = JsonValue::Kind::kBool;
      value.boolean = true;
      return value;
    }
    if (Consume("false")) {
      value.kind = JsonValue::Kind::kBool;
      return value;
    }
    if (Consume("null")) return value;
    return Number();
  }

  std::optional<JsonValue> Number() {
    const size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    const size_t digits = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    if (pos_ == digits) return std::nullopt;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      const size_t fraction = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      if (pos_ == fraction) return std::nullopt;
    }
    JsonValue value;
    value.kind = JsonValue::Kind::kNumber;
    value.number = std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr);
    return value;
  }

  std::optional<std::string> String() {
    ++pos_;  // opening quote
    std::string out;
    while (pos_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return out;
      if (c < 0x20) return std::nullopt;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      const char escape = text_[pos_++];
      switch (escape) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return std::nullopt;
          unsigned code = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
              code |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
              code |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
              code |= static_cast<unsigned>(h - 'A' + 10);
            else
              return std::nullopt;
          }
          AppendCode(code, out);
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // Surrogate pairs are not needed for the log (text outside the BMP arrives as raw UTF-8).
  static void AppendCode(unsigned code, std::string& out) {
    if (code < 0x100) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::optional<JsonValue> Object(int depth) {
    ++pos_;
    JsonValue value;
    value.kind = JsonValue::Kind::kObject;
    SkipBlanks();
    if (Consume("}")) return value;
    while (true) {
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
      std::optional<std::string> name = String();
      SkipBlanks();
      if (!name || !Consume(":")) return std::nullopt;
      std::optional<JsonValue> member = Value(depth + 1);
      if (!member) return std::nullopt;
      value.members.emplace_back(std::move(*name), std::move(*member));
      SkipBlanks();
      if (Consume("}")) return value;
      if (!Consume(",")) return std::nullopt;
    }
  }

  std::optional<JsonValue> Array(int depth) {
    ++pos_;
    JsonValue value;
    value.kind = JsonValue::Kind::kArray;
    SkipBlanks();
    if (Consume("]")) return value;
    while (true) {
      std::optional<JsonValue> item = Value(depth + 1);
      if (!item) return std::nullopt;
      value.items.push_back(std::move(*item));
      SkipBlanks();
      if (Consume("]")) return value;
      if (!Consume(",")) return std::nullopt;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const auto& [key, member] : members) {
    if (key == name) return &member;
  }
  return nullptr;
}

std::string JsonValue::Text(std::string_view name) const {
  const JsonValue* member = Find(name);
  return member && member->kind == Kind::kString ? member->text : std::string();
}

std::optional<JsonValue> ParseJson(std::string_view text) {
  return Parser(text).Document();
}

std::optional<JsonValue> ParseLogLine(std::string_view line) {
  std::optional<JsonValue> entry = ParseJson(line);
  if (!entry || entry->kind != JsonValue::Kind::kObject) return std::nullopt;
  for (std::string_view name : {"time", "status"}) {
    const JsonValue* member = entry->Find(name);
    if (!member || member->kind != JsonValue::Kind::kNumber) return std::nullopt;
  }
  for (std::string_view name : {"method", "path", "query", "ua", "http"}) {
    const JsonValue* member = entry->Find(name);
    if (!member || member->kind != JsonValue::Kind::kString) return std::nullopt;
  }
  return entry;
}

std::vector<JsonValue> LogEntriesForPath(const std::vector<std::string>& lines,
                                         std::string_view path) {
  std::vector<JsonValue> entries;
  for (const std::string& line : lines) {
    std::optional<JsonValue> entry = ParseLogLine(line);
    if (entry && entry->Text("path") == path) entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace fernlite::test
