// What the client directories need from the system.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace fernlite {

struct ClientPathsPlatform {
  static constexpr const char* kUnit = "client paths";
  // The user's application data folder (Linux: $XDG_DATA_HOME or ~/.local/share).
  std::function<std::optional<std::u16string>()> app_data_dir;
  // The system drive's client directory (Linux: $HOME/Fernhall).
  std::function<std::optional<std::u16string>()> drive_client_dir;
};

const ClientPathsPlatform& NativeClientPathsPlatform();

}  // namespace fernlite
