// What reading a file's version needs from the system.
#pragma once

#include <functional>
#include <string>

namespace fernlite {

struct FileVersionPlatform {
  static constexpr const char* kUnit = "file version";
  // "%d.%d.%d.%d" of the file, empty when it has none (Windows: the fixed file version of the
  // version resource; Linux: the version note).
  std::function<std::u16string(const std::u16string& path)> read;
};

const FileVersionPlatform& NativeFileVersionPlatform();

}  // namespace fernlite
