#include <sys/utsname.h>

#include <cstdlib>

#include "net/user_agent.h"
#include "net/user_agent_platform.h"
#include "platform/text.h"

namespace fernlite {
namespace {

std::optional<OsVersion> KernelVersion() {
  utsname info{};
  if (uname(&info) != 0) return std::nullopt;
  OsVersion version;
  version.family = OsVersion::Family::kNamed;
  version.name = info.sysname;
  // Release "6.1.0-18-amd64": the leading major and minor numbers.
  char* end = nullptr;
  version.major = static_cast<unsigned>(std::strtoul(info.release, &end, 10));
  if (end && *end == '.') version.minor = static_cast<unsigned>(std::strtoul(end + 1, nullptr, 10));
  return version;
}

}  // namespace

// There is no browser settings store here: every key is missing, so the assembly gives the
// defaults plus the platform text of the running kernel ("Linux 6.1").
const UserAgentPlatform& NativeUserAgentPlatform() {
  static const UserAgentPlatform& table = *new UserAgentPlatform{
      [](UaKey) { return false; },
      [](UaKey, std::string_view) -> std::optional<std::string> { return std::nullopt; },
      [](UaKey, std::string_view) -> std::optional<std::vector<std::string>> {
        return std::nullopt;
      },
      []() -> std::optional<std::string> { return std::nullopt; },
      &KernelVersion,
  };
  return table;
}

}  // namespace fernlite
