#include "game/bridge_call.h"

#include <charconv>

#include "game/bridge_script.h"
#include "platform/text.h"

namespace fernlite {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  bool TakeWord(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<std::u16string> Identifier() {
    const size_t start = pos_;
    while (!AtEnd() && (IsLetter(Peek()) || (pos_ > start && IsDigit(Peek())))) ++pos_;
    if (pos_ == start) return std::nullopt;
    return AsciiToU16(text_.substr(start, pos_ - start));
  }

  std::optional<std::int32_t> Integer() {
    const size_t start = pos_;
    if (Peek() == '-') ++pos_;
    const size_t digits = pos_;
    while (!AtEnd() && IsDigit(Peek())) ++pos_;
    if (pos_ == digits) return std::nullopt;
    // No fractions or exponents: the bridge takes whole numbers only.
    if (Peek() == '.' || Peek() == 'e' || Peek() == 'E') return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + pos_, value);
    if (error != std::errc() || end != text_.data() + pos_) return std::nullopt;
    return value;
  }

  std::optional<std::u16string> String() {
    if (!Take('"')) return std::nullopt;
    std::string utf8;
    std::u16string out;
    auto flush = [&] {
      out += FromUtf8(utf8);
      utf8.clear();
    };
    while (!AtEnd()) {
      const char c = text_[pos_++];
      if (c == '"') {
        flush();
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        utf8 += c;
        continue;
      }
      if (AtEnd()) return std::nullopt;
      const char escape = text_[pos_++];
      switch (escape) {
        case '"': utf8 += '"'; break;
        case '\\': utf8 += '\\'; break;
        case '/': utf8 += '/'; break;
        case 'b': utf8 += '\b'; break;
        case 'f': utf8 += '\f'; break;
        case 'n': utf8 += '\n'; break;
        case 'r': utf8 += '\r'; break;
        case 't': utf8 += '\t'; break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return std::nullopt;
          unsigned unit = 0;
          const auto [end, error] =
              std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, unit, 16);
          if (error != std::errc() || end != text_.data() + pos_ + 4) return std::nullopt;
          pos_ += 4;
          flush();
          out += static_cast<char16_t>(unit);  // surrogates stay as the page would see them
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;  // unterminated
  }

 private:
  static bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  std::string_view text_;
  size_t pos_ = 0;
};

std::optional<CallArgument> Argument(Reader& in) {
  const char c = in.Peek();
  if (c == '"') {
    auto text = in.String();
    if (!text) return std::nullopt;
    return CallArgument(std::move(*text));
  }
  if (c == '-' || (c >= '0' && c <= '9')) {
    auto number = in.Integer();
    if (!number) return std::nullopt;
    return CallArgument(*number);
  }
  if (in.TakeWord("true")) return CallArgument(true);
  if (in.TakeWord("false")) return CallArgument(false);
  if (in.TakeWord("null")) return CallArgument(std::monostate());
  return std::nullopt;
}

}  // namespace

std::optional<BridgeCall> ParseBridgeCall(std::string_view line) {
  Reader in(line);
  in.SkipBlanks();
  if (!in.TakeWord("call") || (in.Peek() != ' ' && in.Peek() != '\t')) return std::nullopt;
  in.SkipBlanks();
  BridgeCall call;
  auto name = in.Identifier();
  if (!name) return std::nullopt;
  call.method = std::move(*name);
  in.SkipBlanks();
  if (!in.Take('[')) return std::nullopt;
  in.SkipBlanks();
  if (!in.Take(']')) {
    for (;;) {
      in.SkipBlanks();
      auto argument = Argument(in);
      if (!argument || call.arguments.size() == kMaxCallArguments) return std::nullopt;
      call.arguments.push_back(std::move(*argument));
      in.SkipBlanks();
      if (in.Take(']')) break;
      if (!in.Take(',')) return std::nullopt;
    }
  }
  in.SkipBlanks();
  if (!in.AtEnd()) return std::nullopt;
  return call;
}

std::string BridgeCallScript(const BridgeCall& call) {
  std::string script = "window.external." + ToUtf8(call.method) + "(";
  for (size_t i = 0; i < call.arguments.size(); ++i) {
    if (i != 0) script += ", ";
    const CallArgument& argument = call.arguments[i];
    if (const auto* text = std::get_if<std::u16string>(&argument)) {
      script += JsStringLiteral(*text);
    } else if (const auto* number = std::get_if<std::int32_t>(&argument)) {
      script += std::to_string(*number);
    } else if (const auto* flag = std::get_if<bool>(&argument)) {
      script += *flag ? "true" : "false";
    } else {
      script += "null";
    }
  }
  return script + ");";
}

}  // namespace fernlite
