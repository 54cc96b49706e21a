#include "platform/xdg_linux.h"

#include <cstdlib>

namespace fernlite {

std::optional<std::string> AbsoluteEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> HomeDirectory() {
  return AbsoluteEnvironment("HOME");
}

std::optional<std::string> ConfigHome() {
  if (auto config = AbsoluteEnvironment("XDG_CONFIG_HOME")) return config;
  if (auto home = HomeDirectory()) return *home + "/.config";
  return std::nullopt;
}

std::optional<std::string> DataHome() {
  if (auto data = AbsoluteEnvironment("XDG_DATA_HOME")) return data;
  if (auto home = HomeDirectory()) return *home + "/.local/share";
  return std::nullopt;
}

}  // namespace fernlite
