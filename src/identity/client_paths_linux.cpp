#include <cstdlib>

#include "identity/client_paths.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::optional<std::u16string> AbsoluteEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  return FromUtf8(value);
}

}  // namespace

bool GetAppDataDir(std::u16string& out) {
  auto picked = PickAppDataDir(AbsoluteEnvironment("XDG_DATA_HOME"), AbsoluteEnvironment("HOME"),
                               u".local/share", std::nullopt);
  if (!picked) return false;
  out = *picked;
  return true;
}

bool GetDriveClientDir(std::u16string& out) {
  auto home = AbsoluteEnvironment("HOME");
  if (!home || home->size() >= 260) return false;
  out = PathAppend(*home, u"Fernhall");
  return true;
}

}  // namespace fernlite
