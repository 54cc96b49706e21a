#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/files_platform.h"
#include "platform/posix_io_linux.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::string Native(const std::u16string& path) {
  return ToUtf8(path);
}

bool Exists(const std::u16string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::u16string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::u16string& path) {
  return ::mkdir(Native(path).c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool Remove(const std::u16string& path) {
  const std::string native = Native(path);
  // Windows refuses to delete a file another process holds open; here a process that wants
  // that protection holds an flock, and a locked file is left alone the same way. Opening
  // never blocks, whatever the file is.
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd >= 0) {
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    if (locked) return false;
  }
  return ::unlink(native.c_str()) == 0;
}

std::optional<std::string> Read(const std::u16string& path, size_t max_bytes,
                                bool create_if_missing) {
  // Only regular files are read: a FIFO or a device put in a file's place would block or
  // never end.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (create_if_missing ? O_CREAT : 0);
  const int fd = ::open(Native(path).c_str(), flags, 0644);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  auto bytes = ReadAllFd(fd, max_bytes);
  ::close(fd);
  return bytes;
}

// A rename lasts through a power cut only once its directory is on disk.
void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool RenameReplace(const std::u16string& from, const std::u16string& to) {
  const std::string target = Native(to);
  if (::rename(Native(from).c_str(), target.c_str()) != 0) return false;
  SyncDirectoryOf(target);
  return true;
}

// Temporary files of writers that were killed before their rename: named after the target and
// the writer's process, they are removed once that process is gone.
void RemoveStaleTemps(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : target.substr(0, slash);
  const std::string prefix =
      (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
  DIR* listing = ::opendir(dir.c_str());
  if (!listing) return;
  std::vector<std::string> stale;
  // A directory full of names is not read to its end for this.
  for (int seen = 0; seen < 4096; ++seen) {
    const dirent* entry = ::readdir(listing);
    if (!entry) break;
    const std::string_view name(entry->d_name);
    if (!name.starts_with(prefix)) continue;
    const std::string_view rest = name.substr(prefix.size());
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 9) continue;
    pid_t pid = 0;
    for (const char c : rest.substr(0, dash)) {
      if (c < '0' || c > '9') {
        pid = 0;
        break;
      }
      pid = pid * 10 + (c - '0');
    }
    if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
      stale.emplace_back(dir + "/" + std::string(name));
    }
  }
  ::closedir(listing);
  for (const std::string& file : stale) ::unlink(file.c_str());
}

bool WriteAtomic(const std::u16string& path, std::string_view bytes) {
  const std::string target = Native(path);
  RemoveStaleTemps(target);
  std::random_device random;
  const std::string temp =
      target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(random() % 100000);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAllFd(fd, bytes) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncDirectoryOf(target);
  return true;
}

std::optional<std::uint64_t> SizeOf(const std::u16string& path) {
  struct stat st {};
  if (::stat(Native(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool RenameNoReplace(const std::u16string& from, const std::u16string& to) {
  const std::string source = Native(from);
  const std::string target = Native(to);
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    SyncDirectoryOf(target);
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link refuses an existing target too.
  if (::link(source.c_str(), target.c_str()) != 0) return false;
  const bool unlinked = ::unlink(source.c_str()) == 0;
  SyncDirectoryOf(target);
  return unlinked;
}

// Mode bits of `from` without set-id bits, applied to `to`.
bool CopyPermissions(const std::u16string& from, const std::u16string& to) {
  struct stat st {};
  if (::stat(Native(from).c_str(), &st) != 0) return false;
  return ::chmod(Native(to).c_str(), st.st_mode & 07777 & ~mode_t{06000}) == 0;
}

bool CopyFile(const std::u16string& from, const std::u16string& to) {
  const auto bytes = Read(from, SIZE_MAX / 2, false);
  // Replacing by rename also works while the target is running, where writing into the file
  // in place would fail.
  return bytes && WriteAtomic(to, *bytes) && CopyPermissions(from, to);
}

std::u16string ModulePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return FromUtf8(std::string_view(buffer, static_cast<size_t>(n)));
}

}  // namespace

const FilesPlatform& NativeFilesPlatform() {
  static const FilesPlatform& table = *new FilesPlatform{
      u'/',           &Exists, &IsDirectory,     &MakeDirectory, &Remove,          &Read,
      &WriteAtomic,   &SizeOf, &RenameNoReplace, &CopyFile,      &CopyPermissions, &ModulePath,
      &RenameReplace,
  };
  return table;
}

}  // namespace fernlite
