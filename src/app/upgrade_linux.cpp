#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/upgrade.h"
#include "app/upgrade_signer.h"
#include "build_config.h"
#include "net/http_fetch.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {

bool RenameFileNoReplace(const std::u16string& from, const std::u16string& to) {
  const std::string source = ToUtf8(from);
  const std::string target = ToUtf8(to);
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link refuses an existing target too.
  if (::link(source.c_str(), target.c_str()) != 0) return false;
  return ::unlink(source.c_str()) == 0;
}

std::optional<std::uint64_t> FileSizeOf(const std::u16string& path) {
  struct stat st {};
  if (::stat(ToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool PrepareNewExecutable(const std::u16string& new_path, const std::u16string& exe_path) {
  // A download arrives as plain data; the next start needs the running program's mode bits.
  struct stat st {};
  mode_t mode = 0755;
  if (::stat(ToUtf8(exe_path).c_str(), &st) == 0) mode = st.st_mode & 07777 & ~mode_t{06000};
  return ::chmod(ToUtf8(new_path).c_str(), mode | S_IRUSR | S_IXUSR) == 0;
}

std::optional<std::string> DownloadSignerName(const std::u16string& file,
                                              const std::u16string& url) {
  // The signature travels beside the executable as "<url>.p7s".
  const std::u16string signature_path = file + u".p7s";
  if (FileExists(signature_path)) RemoveFile(signature_path);
  std::optional<std::string> name;
  if (Fetch(url + u".p7s", signature_path)) {
    name = VerifiedSignerName(file, signature_path, build::kUpgradeCaFile);
  }
  RemoveFile(signature_path);
  return name;
}

}  // namespace fernlite
