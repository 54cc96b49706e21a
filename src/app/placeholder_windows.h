// TEMPORARY: stands in for the launcher dialog, the game window and the icon bubble until the
// real windows exist. Each window only says what would be shown. Remove with their arrival.
#pragma once

#include <memory>
#include <string>

#include "app/startup.h"

namespace fernlite {

// What the launcher dialog would show (its guest entry address) and what the game window
// would open.
std::u16string PlaceholderLauncherText(const RunSettings& settings);
std::u16string PlaceholderGameText(const RunSettings& settings);

std::unique_ptr<LauncherWindows> MakePlaceholderWindows(RunSettings& settings);

}  // namespace fernlite
