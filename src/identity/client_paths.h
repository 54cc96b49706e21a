// Where the launcher installs itself: a client directory under the user's application data and
// one at the root of the system drive (Linux: $XDG_DATA_HOME/Larkway/Fernhall and $HOME/Fernhall).
#pragma once

#include <optional>
#include <string>

namespace fernlite {

// Application data folder; false when none can be found.
bool GetAppDataDir(std::u16string& out);
// Application data folder + "Larkway" + "Fernhall"; false when GetAppDataDir fails.
bool GetAppDataClientDir(std::u16string& out);
// System drive + ":" + "\\Fernhall" (Linux: the home directory + "/Fernhall").
bool GetDriveClientDir(std::u16string& out);

// The first usable answer: the platform's folder, then the user profile with its suffix
// appended, then the last resort taken unchanged. Empty texts count as unusable.
std::optional<std::u16string> PickAppDataDir(const std::optional<std::u16string>& platform_folder,
                                             const std::optional<std::u16string>& user_profile,
                                             std::u16string_view profile_suffix,
                                             const std::optional<std::u16string>& last_resort);

}  // namespace fernlite
