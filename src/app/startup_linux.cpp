#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/startup_platform.h"
#include "game/renderer_choice_linux.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::intptr_t HoldMarker(const std::u16string& path) {
  const int fd = ::open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  // Shared, so a second launcher can hold the same marker while either one's exclusive delete
  // probe is refused. Without the lock the file is still held open, as on Windows.
  ::flock(fd, LOCK_SH | LOCK_NB);
  return fd;
}

void ReleaseMarker(std::intptr_t handle) {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

// Before any thread of ours runs: the web engine's and the toolkit's process-wide settings are
// environment variables. No COM here, and cairo with gdk-pixbuf always decodes PNG.
bool StartServices() {
  PrepareEnvironmentForTheMachine();
  return true;
}

}  // namespace

const StartupPlatform& NativeStartupPlatform() {
  static const StartupPlatform& table = *new StartupPlatform{
      &StartServices,
      [](bool) {},
      &HoldMarker,
      &ReleaseMarker,
  };
  return table;
}

}  // namespace fernlite
