// Desktop entry files (.desktop) as the Linux build writes its shortcuts, and the user-dirs
// file that names the desktop folder. Plain text in, plain text out: the Exec line holds the
// quoted target followed by the argument text exactly as a shell link keeps it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// A shell link keeps at most this many characters of arguments; the same limit applies here.
inline constexpr size_t kMaxShortcutArgumentChars = 259;

// The entry for a shortcut called `name` that starts `target` with the argument text in the
// directory `working_dir` (all UTF-8).
std::string BuildDesktopEntry(std::string_view target, std::string_view name,
                              std::string_view arguments, std::string_view working_dir);

// The argument text of an entry's Exec line (what follows the program), unescaped; nullopt
// when the entry has no usable Exec line.
std::optional<std::string> DesktopEntryArguments(std::string_view entry);

// XDG_DESKTOP_DIR of a user-dirs.dirs text, "$HOME" replaced by `home`; nullopt when the file
// names no absolute desktop folder.
std::optional<std::string> DesktopDirFromUserDirs(std::string_view user_dirs,
                                                  const std::optional<std::string>& home);

}  // namespace fernlite
