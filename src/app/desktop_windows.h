// The real windows of the launcher behind the run loop: the launcher dialog and the game
// window in turn.
#pragma once

#include <memory>

#include "app/startup.h"

namespace fernlite {

std::unique_ptr<LauncherWindows> MakeDesktopWindows(RunSettings& settings);

}  // namespace fernlite
