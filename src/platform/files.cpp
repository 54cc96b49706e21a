#include "platform/files.h"

#include <cstdint>

#include "platform/files_platform.h"
#include "platform/seam.h"

namespace fernlite {
namespace {

const FilesPlatform& Os() {
  return Platform<FilesPlatform>();
}

bool IsSeparator(char16_t c) {
  return c == u'/' || c == PathSeparator();
}

size_t LastSeparator(std::u16string_view path) {
  return path.find_last_of(PathSeparator() == u'/' ? std::u16string_view(u"/")
                                                   : std::u16string_view(u"\\/"));
}

}  // namespace

char16_t PathSeparator() {
  return Os().separator;
}

std::u16string PathAppend(std::u16string_view dir, std::u16string_view name) {
  std::u16string out(dir);
  while (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
  if (out.empty()) return std::u16string(name);
  if (!IsSeparator(out.back()) && !name.empty()) out += PathSeparator();
  out += name;
  return out;
}

std::u16string PathDirectory(std::u16string_view path) {
  const auto pos = LastSeparator(path);
  if (pos == std::u16string_view::npos) return {};
  if (pos == 0) return std::u16string(path.substr(0, 1));
  return std::u16string(path.substr(0, pos));
}

std::u16string PathFileName(std::u16string_view path) {
  const auto pos = LastSeparator(path);
  return std::u16string(pos == std::u16string_view::npos ? path : path.substr(pos + 1));
}

bool FileExists(const std::u16string& path) {
  return Os().exists(path);
}

bool DirectoryExists(const std::u16string& path) {
  return Os().directory_exists(path);
}

bool CreateDirectories(const std::u16string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  const std::u16string parent = PathDirectory(path);
  // The walk up ends at a directory that exists (a drive or the root, at the latest).
  if (!parent.empty() && parent != path && !CreateDirectories(parent)) return false;
  return Os().create_directory(path);
}

bool RemoveFile(const std::u16string& path) {
  return Os().remove(path);
}

std::optional<std::string> ReadFileBytes(const std::u16string& path) {
  return Os().read(path, SIZE_MAX / 2, false);
}

std::optional<std::string> ReadFileBytes(const std::u16string& path, size_t max_bytes) {
  return Os().read(path, max_bytes, false);
}

std::optional<std::string> ReadFileCreateIfMissing(const std::u16string& path, size_t max_bytes) {
  return Os().read(path, max_bytes, true);
}

bool WriteFileAtomic(const std::u16string& path, std::string_view bytes) {
  return Os().write_atomic(path, bytes);
}

std::optional<std::uint64_t> FileSize(const std::u16string& path) {
  return Os().size_of(path);
}

bool RenameFileNoReplace(const std::u16string& from, const std::u16string& to) {
  return Os().rename_no_replace(from, to);
}

bool RenameFileReplacing(const std::u16string& from, const std::u16string& to) {
  return Os().rename_replace(from, to);
}

bool CopyFileReplacing(const std::u16string& from, const std::u16string& to) {
  return Os().copy_file(from, to);
}

bool CopyFilePermissions(const std::u16string& from, const std::u16string& to) {
  return Os().copy_permissions(from, to);
}

std::u16string GetModulePath() {
  return Os().module_path();
}

}  // namespace fernlite
