#include <windows.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/wide_win32.h"

namespace fernlite {

const char16_t kPathSeparator = u'\\';

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

}  // namespace

bool FileExists(const std::u16string& path) {
  return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectories(const std::u16string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  const std::u16string parent = PathDirectory(path);
  if (!parent.empty() && parent != path && parent.size() > 2 && !CreateDirectories(parent)) {
    return false;
  }
  return CreateDirectoryW(W(path), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveFile(const std::u16string& path) {
  return DeleteFileW(W(path)) != FALSE;
}

std::optional<std::string> ReadFileBytes(const std::u16string& path) {
  HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  auto bytes = ReadHandle(file, 0x7fffffff);
  CloseHandle(file);
  return bytes;
}

std::optional<std::string> ReadFileCreateIfMissing(const std::u16string& path, size_t max_bytes) {
  HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  auto bytes = ReadHandle(file, max_bytes);
  CloseHandle(file);
  return bytes;
}

bool WriteFileAtomic(const std::u16string& path, std::string_view bytes) {
  const std::u16string temp =
      path + u".tmp" + std::u16string(1, static_cast<char16_t>(u'0' + GetCurrentProcessId() % 10));
  HANDLE file = CreateFileW(W(temp), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  ok = ok && FlushFileBuffers(file);
  CloseHandle(file);
  if (!ok || !MoveFileExW(W(temp), W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(W(temp));
    return false;
  }
  return true;
}

std::u16string GetModulePath() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
  if (n == 0 || n >= MAX_PATH * 4) return {};
  return FromWide(buffer, n);
}

}  // namespace fernlite
