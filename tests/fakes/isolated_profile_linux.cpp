#include "fakes/isolated_profile.h"
#include "platform/text.h"

namespace fernlite::test {

void IsolatedProfile::IsolateEnvironment() {
  env_.push_back(std::make_unique<ScopedEnv>("HOME", ToUtf8(scratch_.Join(u"home"))));
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR"}) {
    env_.push_back(std::make_unique<ScopedEnv>(name, std::nullopt));
  }
}

}  // namespace fernlite::test
