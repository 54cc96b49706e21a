// What the shortcuts need from the system: shell links on Windows, desktop entries on Linux.
#pragma once

#include <functional>
#include <string>

#include "app/shortcuts.h"

namespace fernlite {

struct ShortcutsPlatform {
  static constexpr const char* kUnit = "shortcuts";
  // ".lnk" on Windows, ".desktop" on Linux.
  std::u16string extension;
  // The user's desktop and Startup (Linux: autostart) folders.
  std::function<ShortcutFolders()> user_folders;
  // The shortcut's argument text, empty on any failure.
  std::function<std::u16string(const std::u16string& shortcut_path)> read_arguments;
  // Target, arguments, icon (target, index 1) and working directory (the target's folder);
  // true when the shortcut was saved.
  std::function<bool(const std::u16string& target, const std::u16string& shortcut_path,
                     const std::u16string& arguments)>
      write;
};

const ShortcutsPlatform& NativeShortcutsPlatform();

}  // namespace fernlite
