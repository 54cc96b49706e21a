// Shortcuts as desktop entries: the Exec line holds the quoted target followed by the argument
// text exactly as a shell link would keep it, so the same argument rules apply on both builds.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app/shortcuts.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {

const char16_t kShortcutExtension[] = u".desktop";

namespace {

// A shell link keeps at most this many characters of arguments; the same limit applies here.
constexpr size_t kMaxArgumentChars = 259;
constexpr size_t kMaxEntryBytes = 64 * 1024;

std::optional<std::string> AbsoluteEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> ConfigHome() {
  if (auto config = AbsoluteEnvironment("XDG_CONFIG_HOME")) return config;
  if (auto home = AbsoluteEnvironment("HOME")) return *home + "/.config";
  return std::nullopt;
}

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
std::optional<std::string> ExecValue(const std::string& entry) {
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

std::optional<std::u16string> DesktopFromUserDirs(const std::string& config_home,
                                                  const std::optional<std::string>& home) {
  std::ifstream file(config_home + "/user-dirs.dirs");
  std::string line;
  std::optional<std::u16string> found;
  while (file && std::getline(file, line)) {
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    if (line.compare(0, kKey.size(), kKey) != 0) continue;
    std::string value = line.substr(kKey.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.compare(0, 5, "$HOME") == 0 && home) {
      value = *home + value.substr(5);
    }
    if (!value.empty() && value.front() == '/') found = FromUtf8(value);
  }
  return found;
}

}  // namespace

ShortcutFolders UserShortcutFolders() {
  ShortcutFolders folders;
  const auto home = AbsoluteEnvironment("HOME");
  const auto config = ConfigHome();
  if (config) folders.desktop = DesktopFromUserDirs(*config, home);
  if (!folders.desktop) {
    if (auto desktop = AbsoluteEnvironment("XDG_DESKTOP_DIR")) {
      folders.desktop = FromUtf8(*desktop);
    } else if (home) {
      folders.desktop = FromUtf8(*home + "/Desktop");
    }
  }
  if (config) folders.startup = FromUtf8(*config + "/autostart");
  return folders;
}

std::u16string ReadShortcutArguments(const std::u16string& shortcut_path) {
  const auto bytes = ReadFileBytes(shortcut_path);
  if (!bytes || bytes->size() > kMaxEntryBytes) return {};
  const auto exec = ExecValue(*bytes);
  if (!exec) return {};
  const auto arguments = ArgumentsAfterProgram(*exec);
  if (!arguments) return {};
  std::u16string text = FromUtf8(UnescapePercent(*arguments));
  if (text.size() > kMaxArgumentChars) text.resize(kMaxArgumentChars);
  return text;
}

bool WriteShortcut(const std::u16string& target, const std::u16string& shortcut_path,
                   const std::u16string& arguments) {
  const std::u16string folder = PathDirectory(shortcut_path);
  if (folder.empty() || !CreateDirectories(folder)) return false;
  std::u16string name = PathFileName(shortcut_path);
  const std::u16string_view extension(kShortcutExtension);
  if (name.size() > extension.size() &&
      std::u16string_view(name).substr(name.size() - extension.size()) == extension) {
    name.resize(name.size() - extension.size());
  }
  const std::string target_text = ToUtf8(target);
  const std::string exec =
      EscapePercent(QuoteExecArgument(target_text)) + EscapePercent(ToUtf8(arguments));
  std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  entry += "Name=" + EscapeValue(ToUtf8(name)) + "\n";
  entry += "Exec=" + EscapeValue(exec) + "\n";
  entry += "Path=" + EscapeValue(ToUtf8(PathDirectory(target))) + "\n";
  // Desktops cannot take an icon out of an executable; the index keeps the link's choice.
  entry += "Icon=" + EscapeValue(target_text) + "\n";
  entry += "X-Fernlite-Icon-Index=1\nTerminal=false\n";
  if (!WriteFileAtomic(shortcut_path, entry)) return false;
  // File managers only launch desktop entries on the desktop that are executable.
  return ::chmod(ToUtf8(shortcut_path).c_str(), 0755) == 0;
}

}  // namespace fernlite
