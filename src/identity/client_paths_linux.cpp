#include "identity/client_paths.h"
#include "identity/client_paths_platform.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xdg_linux.h"

namespace fernlite {
namespace {

std::optional<std::u16string> Wide(const std::optional<std::string>& path) {
  if (!path) return std::nullopt;
  return FromUtf8(*path);
}

std::optional<std::u16string> AppDataDir() {
  return PickAppDataDir(Wide(AbsoluteEnvironment("XDG_DATA_HOME")), Wide(HomeDirectory()),
                        u".local/share", std::nullopt);
}

std::optional<std::u16string> DriveClientDir() {
  const auto home = Wide(HomeDirectory());
  if (!home || home->size() >= 260) return std::nullopt;
  return PathAppend(*home, u"Fernhall");
}

}  // namespace

const ClientPathsPlatform& NativeClientPathsPlatform() {
  static const ClientPathsPlatform& table = *new ClientPathsPlatform{&AppDataDir, &DriveClientDir};
  return table;
}

}  // namespace fernlite
