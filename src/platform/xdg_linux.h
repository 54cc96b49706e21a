// The XDG base directories, shared by the Linux platform sides. Only absolute values count:
// a relative one would depend on the working directory.
#pragma once

#include <optional>
#include <string>

namespace fernlite {

// The variable's value when it is set to an absolute path.
std::optional<std::string> AbsoluteEnvironment(const char* name);
std::optional<std::string> HomeDirectory();
// $XDG_CONFIG_HOME, else $HOME/.config.
std::optional<std::string> ConfigHome();
// $XDG_DATA_HOME, else $HOME/.local/share.
std::optional<std::string> DataHome();

}  // namespace fernlite
