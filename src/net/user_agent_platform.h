// What the user agent needs from the system: a read-only view of the browser's settings
// (Windows: the registry; elsewhere an empty store) and the operating system's version.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/user_agent.h"

namespace fernlite {

struct UserAgentPlatform {
  static constexpr const char* kUnit = "user agent";
  // Texts are 8-bit (the ANSI code page).
  std::function<bool(UaKey key)> key_exists;
  // A string value of the key ("" names the default value); nullopt when missing.
  std::function<std::optional<std::string>(UaKey key, std::string_view name)> value;
  // Value names of the key's subkey, in enumeration order, whole (the assembly applies the
  // length limits); nullopt when the subkey does not exist.
  std::function<std::optional<std::vector<std::string>>(UaKey key, std::string_view subkey)>
      subkey_value_names;
  // The "User Agent" value of the user's Internet Settings key itself; nullopt when missing.
  std::function<std::optional<std::string>()> internet_settings_user_agent;
  // nullopt when the version cannot be read.
  std::function<std::optional<OsVersion>()> operating_system;
};

const UserAgentPlatform& NativeUserAgentPlatform();

}  // namespace fernlite
