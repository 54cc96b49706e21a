#include "platform/posix_io_linux.h"

#include <unistd.h>

#include <cerrno>

namespace fernlite {

bool WriteAllFd(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::optional<std::string> ReadAllFd(int fd, size_t max_bytes) {
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

}  // namespace fernlite
