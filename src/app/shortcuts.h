// Desktop and Startup-folder shortcuts to the installed launcher. Windows writes shell links
// (.lnk); Linux writes desktop entries (.desktop) whose Exec line carries the argument text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/run_settings.h"

namespace fernlite {

// Name prefixes of shortcuts that earlier installations left behind, in lookup order.
inline constexpr char16_t kShortcutPrefixVexa[] = u"VEXA-";
inline constexpr char16_t kShortcutPrefixRix[] = u"3939RIX-";
// Argument text for an earlier shortcut whose own arguments cannot be read.
inline constexpr char16_t kDefaultShortcutArguments[] = u" /C 263 /CC 434 ";

// Where shortcuts go; an absent folder is skipped.
struct ShortcutFolders {
  std::optional<std::u16string> desktop;
  std::optional<std::u16string> startup;
};

// The user's desktop and Startup (Linux: autostart) folders.
ShortcutFolders UserShortcutFolders();

// ".lnk" on Windows, ".desktop" on Linux.
std::u16string ShortcutExtension();

// folder + separator + name + extension.
std::u16string ShortcutPath(std::u16string_view folder, std::u16string_view name);

// " /C <channel> /CC <sub-channel>", "null" standing in for an empty sub-channel.
std::u16string NewShortcutArguments(const RunSettings& settings);

// Full path of an earlier shortcut in the folder ("VEXA-" before "3939RIX-"), else empty.
std::u16string FindEarlierShortcut(std::u16string_view folder, std::u16string_view game_title);
// Deletes the "3939RIX-" then the "VEXA-" shortcut; the name of the last one deleted, or empty.
std::u16string RemoveEarlierShortcuts(std::u16string_view folder, std::u16string_view game_title);

// Creates the desktop shortcut (and with StartupShortcut the Startup one) for the target, an
// empty target meaning the running executable. Sets CreatedShortcutName when the desktop
// shortcut was saved. Returns the argument text of the last shortcut made.
std::u16string CreateShortcuts(const std::u16string& target, RunSettings& settings,
                               const ShortcutFolders& folders);

}  // namespace fernlite
