// What the per-user key-value store needs from the system: the registry on Windows, one file
// per value under $XDG_CONFIG_HOME on Linux.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

struct StorePlatform {
  static constexpr const char* kUnit = "key-value store";
  // The value text; nullopt when it is missing, not a string, not terminated or longer than
  // kStoreValueMaxChars.
  std::function<std::optional<std::u16string>(std::u16string_view group, std::u16string_view name)>
      read;
  std::function<bool(std::u16string_view group, std::u16string_view name,
                     std::u16string_view value)>
      write;
  std::function<bool(std::u16string_view group, std::u16string_view name)> remove;
};

const StorePlatform& NativeStorePlatform();

}  // namespace fernlite
