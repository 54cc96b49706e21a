// Installing the launcher into its client directory and handing over to the installed copy.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/run_settings.h"
#include "app/shortcuts.h"

namespace fernlite {

enum class ClientDir { kAppData, kDrive };

// SelfInstall results.
inline constexpr int kAlreadyInstalled = 0;
inline constexpr int kInstallFailed = -1;
inline constexpr int kInstalled = 1;

// Copies the own executable into the chosen client directory as ExeName, records and reports
// the installation, creates the shortcuts and (with run_after_install) starts the copy once the
// report has gone out or kReportDrainBound has passed.
// kAlreadyInstalled when running from that directory; kInstallFailed when the directory is
// unknown or cannot be created or the copy fails; kInstalled otherwise.
int SelfInstall(ClientDir which, bool run_after_install, RunSettings& settings);

// The parameters of the installed copy: shortcut arguments, " /D " own path, " /IB " label,
// the path and the label quoted so blanks survive.
std::u16string RelaunchParameters(std::u16string_view shortcut_arguments,
                                  std::u16string_view own_path, std::u16string_view icon_label);

}  // namespace fernlite
