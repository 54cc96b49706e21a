#include <sys/utsname.h>

#include <cstdlib>

#include "net/user_agent.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// There is no browser settings store here: every key is missing, so the assembly gives the
// defaults plus the platform text of the running kernel ("Linux 6.1").
class EmptyUserAgentSettings final : public UserAgentSettings {
 public:
  bool KeyExists(UaKey) override { return false; }
  std::optional<std::string> Value(UaKey, std::string_view) override { return std::nullopt; }
  std::optional<std::vector<std::string>> SubkeyValueNames(UaKey, std::string_view) override {
    return std::nullopt;
  }
  std::optional<std::string> InternetSettingsUserAgent() override { return std::nullopt; }

  std::optional<OsVersion> OperatingSystem() override {
    utsname info{};
    if (uname(&info) != 0) return std::nullopt;
    OsVersion version;
    version.family = OsVersion::Family::kNamed;
    version.name = info.sysname;
    // Release "6.1.0-18-amd64": the leading major and minor numbers.
    char* end = nullptr;
    version.major = static_cast<unsigned>(std::strtoul(info.release, &end, 10));
    if (end && *end == '.')
      version.minor = static_cast<unsigned>(std::strtoul(end + 1, nullptr, 10));
    return version;
  }
};

}  // namespace

UserAgentSettings& PlatformUserAgentSettings() {
  static EmptyUserAgentSettings settings;
  return settings;
}

}  // namespace fernlite
