#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>

#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {

const char16_t kPathSeparator = u'/';

namespace {

std::string Native(const std::u16string& path) {
  return ToUtf8(path);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::optional<std::string> ReadAll(int fd, size_t max_bytes) {
  std::string out;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
    if (out.size() > max_bytes) return std::nullopt;
  }
  return out;
}

}  // namespace

bool FileExists(const std::u16string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0;
}

bool DirectoryExists(const std::u16string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::u16string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  const std::u16string parent = PathDirectory(path);
  if (!parent.empty() && parent != path && !CreateDirectories(parent)) return false;
  return ::mkdir(Native(path).c_str(), 0755) == 0 || errno == EEXIST;
}

bool RemoveFile(const std::u16string& path) {
  const std::string native = Native(path);
  // Windows refuses to delete a file another process holds open; here a process that wants
  // that protection holds an flock, and a locked file is left alone the same way.
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd >= 0) {
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    if (locked) return false;
  }
  return ::unlink(native.c_str()) == 0;
}

std::optional<std::string> ReadFileBytes(const std::u16string& path) {
  const int fd = ::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  auto bytes = ReadAll(fd, SIZE_MAX / 2);
  ::close(fd);
  return bytes;
}

std::optional<std::string> ReadFileCreateIfMissing(const std::u16string& path, size_t max_bytes) {
  const int fd = ::open(Native(path).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return std::nullopt;
  auto bytes = ReadAll(fd, max_bytes);
  ::close(fd);
  return bytes;
}

bool WriteFileAtomic(const std::u16string& path, std::string_view bytes) {
  const std::string target = Native(path);
  std::random_device random;
  const std::string temp =
      target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(random() % 100000);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::u16string GetModulePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return FromUtf8(std::string_view(buffer, static_cast<size_t>(n)));
}

}  // namespace fernlite
