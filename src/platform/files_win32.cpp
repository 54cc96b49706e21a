#include <windows.h>

#include <algorithm>

#include "platform/files_platform.h"
#include "platform/handles_win32.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

std::optional<std::string> ReadHandle(HANDLE file, size_t max_bytes) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    return std::nullopt;
  }
  std::string out(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < out.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 20));
    if (!ReadFile(file, out.data() + done, want, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return out;
}

bool Exists(const std::u16string& path) {
  return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::u16string& path) {
  return CreateDirectoryW(W(path), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool Remove(const std::u16string& path) {
  return DeleteFileW(W(path)) != FALSE;
}

std::optional<std::string> Read(const std::u16string& path, size_t max_bytes,
                                bool create_if_missing) {
  UniqueFile file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              create_if_missing ? OPEN_ALWAYS : OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  return ReadHandle(file.get(), std::min<size_t>(max_bytes, 0x7fffffff));
}

bool WriteAtomic(const std::u16string& path, std::string_view bytes) {
  const std::u16string temp =
      path + u".tmp" + std::u16string(1, static_cast<char16_t>(u'0' + GetCurrentProcessId() % 10));
  UniqueFile file(CreateFileW(W(temp), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        &written, nullptr) &&
                              written == bytes.size());
  ok = ok && FlushFileBuffers(file.get());
  ok = file.reset() && ok;
  if (!ok || !MoveFileExW(W(temp), W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(W(temp));
    return false;
  }
  return true;
}

std::optional<std::uint64_t> SizeOf(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RenameNoReplace(const std::u16string& from, const std::u16string& to) {
  // Without the replace flag the move fails when `to` exists.
  return MoveFileExW(W(from), W(to), MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RenameReplace(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool CopyFileOver(const std::u16string& from, const std::u16string& to) {
  return CopyFileW(W(from), W(to), FALSE) != FALSE;
}

// Windows has no execute permission to carry over.
bool CopyPermissions(const std::u16string&, const std::u16string&) {
  return true;
}

std::u16string ModulePath() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
  if (n == 0 || n >= MAX_PATH * 4) return {};
  return FromWide(buffer, n);
}

}  // namespace

const FilesPlatform& NativeFilesPlatform() {
  static const FilesPlatform& table = *new FilesPlatform{
      u'\\',          &Exists, &IsDirectory,     &MakeDirectory, &Remove,          &Read,
      &WriteAtomic,   &SizeOf, &RenameNoReplace, &CopyFileOver,  &CopyPermissions, &ModulePath,
      &RenameReplace,
  };
  return table;
}

}  // namespace fernlite
