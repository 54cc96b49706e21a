#include <cstdlib>

#include "fakes/test_env.h"

namespace fernlite::test {

void SetEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
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
