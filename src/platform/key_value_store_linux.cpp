#include "platform/files.h"
#include "platform/key_value_store.h"
#include "platform/key_value_store_platform.h"
#include "platform/text.h"
#include "platform/xdg_linux.h"

namespace fernlite {
namespace {

std::u16string ValuePath(std::u16string_view group, std::u16string_view name) {
  const auto base = ConfigHome();
  if (!base || name.empty() || name.find(u'/') != std::u16string_view::npos) return {};
  return PathAppend(PathAppend(FromUtf8(*base), group), name);
}

std::optional<std::u16string> Read(std::u16string_view group, std::u16string_view name) {
  const std::u16string path = ValuePath(group, name);
  if (path.empty()) return std::nullopt;
  auto bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  std::u16string text = FromUtf8(*bytes);
  if (text.size() > kStoreValueMaxChars) return std::nullopt;
  return text;
}

bool Write(std::u16string_view group, std::u16string_view name, std::u16string_view value) {
  const std::u16string path = ValuePath(group, name);
  if (path.empty() || !CreateDirectories(PathDirectory(path))) return false;
  return WriteFileAtomic(path, ToUtf8(value));
}

bool Remove(std::u16string_view group, std::u16string_view name) {
  const std::u16string path = ValuePath(group, name);
  return !path.empty() && RemoveFile(path);
}

}  // namespace

const StorePlatform& NativeStorePlatform() {
  static const StorePlatform& table = *new StorePlatform{&Read, &Write, &Remove};
  return table;
}

}  // namespace fernlite
