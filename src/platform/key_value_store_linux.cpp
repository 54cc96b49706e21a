#include <cstdlib>

#include "platform/files.h"
#include "platform/key_value_store.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::u16string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return FromUtf8(xdg);
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return PathAppend(FromUtf8(home), u".config");
  return {};
}

std::u16string ValuePath(std::u16string_view group, std::u16string_view name) {
  const std::u16string base = ConfigHome();
  if (base.empty() || name.empty() || name.find(u'/') != std::u16string_view::npos) return {};
  return PathAppend(PathAppend(base, group), name);
}

}  // namespace

std::optional<std::u16string> ReadStoreText(std::u16string_view group, std::u16string_view name) {
  const std::u16string path = ValuePath(group, name);
  if (path.empty()) return std::nullopt;
  auto bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  std::u16string text = FromUtf8(*bytes);
  if (text.size() > kStoreValueMaxChars) return std::nullopt;
  return text;
}

bool WriteStoreText(std::u16string_view group, std::u16string_view name,
                    std::u16string_view value) {
  const std::u16string path = ValuePath(group, name);
  if (path.empty() || !CreateDirectories(PathDirectory(path))) return false;
  return WriteFileAtomic(path, ToUtf8(value));
}

bool DeleteStoreValue(std::u16string_view group, std::u16string_view name) {
  const std::u16string path = ValuePath(group, name);
  return !path.empty() && RemoveFile(path);
}

}  // namespace fernlite
