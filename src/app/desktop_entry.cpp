#include "app/desktop_entry.h"

namespace fernlite {
namespace {

// The desktop entry reserves these inside a quoted Exec argument.
std::string QuoteExecArgument(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string EscapePercent(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

std::string UnescapePercent(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return out;
}

// The key file's string escapes, which apply to every value before Exec's own rules.
std::string EscapeValue(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == ' ' && i == 0) {
      out += "\\s";  // a leading blank would be trimmed by readers
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapeValue(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      default: out += text[i]; break;
    }
  }
  return out;
}

// The Exec value of the [Desktop Entry] group, unescaped; nullopt when there is none.
std::optional<std::string> ExecValue(std::string_view entry) {
  bool in_entry_group = false;
  size_t pos = 0;
  while (pos < entry.size()) {
    size_t end = entry.find('\n', pos);
    if (end == std::string::npos) end = entry.size();
    std::string_view line(entry.data() + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '[') {
      in_entry_group = line == "[Desktop Entry]";
      continue;
    }
    if (!in_entry_group || line.substr(0, 4) != "Exec") continue;
    std::string_view rest = line.substr(4);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.empty() || rest.front() != '=') continue;
    rest.remove_prefix(1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    return UnescapeValue(rest);
  }
  return std::nullopt;
}

// What follows the program element of an Exec command line.
std::optional<std::string> ArgumentsAfterProgram(std::string_view exec) {
  if (exec.empty()) return std::nullopt;
  if (exec.front() != '"') {
    const size_t blank = exec.find(' ');
    return blank == std::string_view::npos ? std::string() : std::string(exec.substr(blank));
  }
  for (size_t i = 1; i < exec.size(); ++i) {
    if (exec[i] == '\\') {
      ++i;
    } else if (exec[i] == '"') {
      return std::string(exec.substr(i + 1));
    }
  }
  return std::nullopt;  // unterminated quote
}

}  // namespace

std::string BuildDesktopEntry(std::string_view target, std::string_view name,
                              std::string_view arguments, std::string_view working_dir) {
  const std::string exec = EscapePercent(QuoteExecArgument(target)) + EscapePercent(arguments);
  std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  entry += "Name=" + EscapeValue(name) + "\n";
  entry += "Exec=" + EscapeValue(exec) + "\n";
  entry += "Path=" + EscapeValue(working_dir) + "\n";
  // Desktops cannot take an icon out of an executable; the index keeps the link's choice.
  entry += "Icon=" + EscapeValue(target) + "\n";
  entry += "X-Fernlite-Icon-Index=1\nTerminal=false\n";
  return entry;
}

std::optional<std::string> DesktopEntryArguments(std::string_view entry) {
  const auto exec = ExecValue(entry);
  if (!exec) return std::nullopt;
  const auto arguments = ArgumentsAfterProgram(*exec);
  if (!arguments) return std::nullopt;
  return UnescapePercent(*arguments);
}

std::optional<std::string> DesktopDirFromUserDirs(std::string_view user_dirs,
                                                  const std::optional<std::string>& home) {
  std::optional<std::string> found;
  size_t pos = 0;
  while (pos < user_dirs.size()) {
    size_t end = user_dirs.find('\n', pos);
    if (end == std::string_view::npos) end = user_dirs.size();
    const std::string_view line = user_dirs.substr(pos, end - pos);
    pos = end + 1;
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    if (line.substr(0, kKey.size()) != kKey) continue;
    std::string value(line.substr(kKey.size()));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.compare(0, 5, "$HOME") == 0 && home) value = *home + value.substr(5);
    if (!value.empty() && value.front() == '/') found = value;
  }
  return found;
}

}  // namespace fernlite
