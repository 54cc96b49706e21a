// What the files unit needs from the system. Paths are UTF-16 (Linux: UTF-8 bytes).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

struct FilesPlatform {
  static constexpr const char* kUnit = "files";
  char16_t separator = u'/';
  std::function<bool(const std::u16string& path)> exists;
  std::function<bool(const std::u16string& path)> directory_exists;
  // One directory whose parent exists; true when it exists afterwards.
  std::function<bool(const std::u16string& path)> create_directory;
  // Refuses a file another process holds (Windows: no delete sharing; Linux: an flock).
  std::function<bool(const std::u16string& path)> remove;
  // At most max_bytes; nullopt when it cannot be read or is longer. create_if_missing opens
  // it the OPEN_ALWAYS way.
  std::function<std::optional<std::string>(const std::u16string& path, size_t max_bytes,
                                           bool create_if_missing)>
      read;
  // Temporary file beside the target, flushed, renamed over it.
  std::function<bool(const std::u16string& path, std::string_view bytes)> write_atomic;
  std::function<std::optional<std::uint64_t>(const std::u16string& path)> size_of;
  // Fails when `to` exists.
  std::function<bool(const std::u16string& from, const std::u16string& to)> rename_no_replace;
  // Replaces `to`; the copy keeps the source's permissions (an executable stays one).
  std::function<bool(const std::u16string& from, const std::u16string& to)> copy_file;
  // Gives `to` the permissions of `from` (Linux mode bits; nothing to do on Windows).
  std::function<bool(const std::u16string& from, const std::u16string& to)> copy_permissions;
  std::function<std::u16string()> module_path;
  // Replaces `to` in one step (a running file too where the system allows it), made durable.
  std::function<bool(const std::u16string& from, const std::u16string& to)> rename_replace;
};

const FilesPlatform& NativeFilesPlatform();

}  // namespace fernlite
