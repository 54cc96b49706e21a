#include <cstdlib>
#include <fstream>
#include <string>

#include "fakes/test_env.h"

namespace fernlite::test {

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

std::uint64_t PeakMemoryBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;  // in kB
  }
  return 0;
}

}  // namespace fernlite::test

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/text.h"

namespace fernlite::test {

LockedFile::LockedFile(const std::u16string& path) {
  const int fd = ::open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
}

LockedFile::~LockedFile() {
  if (ok()) ::close(static_cast<int>(handle_));
}

}  // namespace fernlite::test
