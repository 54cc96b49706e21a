// Files and paths shared by every subsystem. Paths are UTF-16; on Linux they are UTF-8 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// '\\' on Windows, '/' on Linux.
char16_t PathSeparator();

// Joins with exactly one separator between the parts (PathAppend's rule).
std::u16string PathAppend(std::u16string_view dir, std::u16string_view name);
// The directory part of a path (PathRemoveFileSpec's rule): everything before the last separator.
std::u16string PathDirectory(std::u16string_view path);
// The file name part of a path.
std::u16string PathFileName(std::u16string_view path);

bool FileExists(const std::u16string& path);
bool DirectoryExists(const std::u16string& path);
// Creates the directory and its missing parents.
bool CreateDirectories(const std::u16string& path);
bool RemoveFile(const std::u16string& path);

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::u16string& path);
// The same; nullopt also for a file larger than max_bytes (read no further than that).
std::optional<std::string> ReadFileBytes(const std::u16string& path, size_t max_bytes);
// Reads a whole file, creating it empty when missing (OPEN_ALWAYS); nullopt when it cannot be
// opened or is larger than max_bytes.
std::optional<std::string> ReadFileCreateIfMissing(const std::u16string& path, size_t max_bytes);
// Writes the bytes to a temporary file beside the target, flushes it and renames it over the
// target, so a crash or a full disk never leaves a half-written file. True when every byte was
// written and the replacement succeeded.
bool WriteFileAtomic(const std::u16string& path, std::string_view bytes);

// Size of a regular file; nullopt when it cannot be opened.
std::optional<std::uint64_t> FileSize(const std::u16string& path);
// Rename that fails when `to` exists (MoveFile's rule).
bool RenameFileNoReplace(const std::u16string& from, const std::u16string& to);
// Rename over `to` in one step: whoever opens the path sees the old file or the new one.
bool RenameFileReplacing(const std::u16string& from, const std::u16string& to);
// Copies over the target, replacing it; an executable source gives an executable copy.
bool CopyFileReplacing(const std::u16string& from, const std::u16string& to);
// Gives `to` the permissions of `from`.
bool CopyFilePermissions(const std::u16string& from, const std::u16string& to);

// Full path of the running executable.
std::u16string GetModulePath();

}  // namespace fernlite
