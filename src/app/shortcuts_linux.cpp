// Shortcuts as desktop entries (desktop_entry.h), in the folders the XDG settings name.
#include <sys/stat.h>

#include <string>

#include "app/desktop_entry.h"
#include "app/shortcuts.h"
#include "app/shortcuts_platform.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xdg_linux.h"

namespace fernlite {
namespace {

constexpr size_t kMaxEntryBytes = 64 * 1024;
constexpr char16_t kExtension[] = u".desktop";

ShortcutFolders UserFolders() {
  ShortcutFolders folders;
  const auto home = HomeDirectory();
  const auto config = ConfigHome();
  if (config) {
    if (auto text = ReadFileBytes(FromUtf8(*config + "/user-dirs.dirs"))) {
      if (auto desktop = DesktopDirFromUserDirs(*text, home)) folders.desktop = FromUtf8(*desktop);
    }
  }
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

std::u16string ReadArguments(const std::u16string& shortcut_path) {
  const auto bytes = ReadFileBytes(shortcut_path);
  if (!bytes || bytes->size() > kMaxEntryBytes) return {};
  const auto arguments = DesktopEntryArguments(*bytes);
  if (!arguments) return {};
  std::u16string text = FromUtf8(*arguments);
  if (text.size() > kMaxShortcutArgumentChars) text.resize(kMaxShortcutArgumentChars);
  return text;
}

bool Write(const std::u16string& target, const std::u16string& shortcut_path,
           const std::u16string& arguments) {
  const std::u16string folder = PathDirectory(shortcut_path);
  if (folder.empty() || !CreateDirectories(folder)) return false;
  std::u16string name = PathFileName(shortcut_path);
  const std::u16string_view extension(kExtension);
  if (name.size() > extension.size() &&
      std::u16string_view(name).substr(name.size() - extension.size()) == extension) {
    name.resize(name.size() - extension.size());
  }
  const std::string entry = BuildDesktopEntry(ToUtf8(target), ToUtf8(name), ToUtf8(arguments),
                                              ToUtf8(PathDirectory(target)));
  if (!WriteFileAtomic(shortcut_path, entry)) return false;
  // File managers only launch desktop entries on the desktop that are executable.
  return ::chmod(ToUtf8(shortcut_path).c_str(), 0755) == 0;
}

}  // namespace

const ShortcutsPlatform& NativeShortcutsPlatform() {
  static const ShortcutsPlatform& table =
      *new ShortcutsPlatform{kExtension, &UserFolders, &ReadArguments, &Write};
  return table;
}

}  // namespace fernlite
