// Version text of the running launcher.
#pragma once

#include <string>

namespace fernlite {

// "%d.%d.%d.%d" of the launcher's file version; empty when it has none.
std::u16string LauncherVersionText();

}  // namespace fernlite
