// Installing the launcher into its client directory and handing over to the installed copy.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_settings.h"
#include "app/shortcuts.h"
#include "identity/user_data.h"

namespace fernlite {

enum class ClientDir { kAppData, kDrive };

// SelfInstall results.
inline constexpr int kAlreadyInstalled = 0;
inline constexpr int kInstallFailed = -1;
inline constexpr int kInstalled = 1;

// What the install step needs from outside, so tests can answer for it.
struct InstallServices {
  std::u16string own_path;  // empty: the running executable
  EventReporter report;
  std::function<std::u16string(const std::u16string& path)> file_version;
  // Starts the program with the parameter text (a command-line tail, leading blank included).
  std::function<bool(const std::u16string& program, const std::u16string& parameters)>
      start_process;
  ShortcutFolders shortcut_folders;
};

// The real services: own module path, Report, the file's version, the user's folders and a
// real process start.
InstallServices DefaultInstallServices();

// Copies the own executable into the chosen client directory as ExeName, records and reports
// the installation, creates the shortcuts and (with run_after_install) starts the copy.
// kAlreadyInstalled when running from that directory; kInstallFailed when the directory is
// unknown or cannot be created or the copy fails; kInstalled otherwise.
int SelfInstall(ClientDir which, bool run_after_install, RunSettings& settings,
                const InstallServices& services);

// The parameters of the installed copy: shortcut arguments, " /D " own path, " /IB " label,
// the path and the label quoted so blanks survive.
std::u16string RelaunchParameters(std::u16string_view shortcut_arguments,
                                  std::u16string_view own_path, std::u16string_view icon_label);

// One command-line element quoted so that the Windows argument rules give it back unchanged.
std::u16string QuoteArgument(std::u16string_view element);
// Splits a command-line tail by the Windows argument rules (the rules for elements after the
// program name).
std::vector<std::u16string> SplitArguments(std::u16string_view text);

// Platform side.
// Copies the file over the target, replacing it; the copy is executable.
bool CopyExecutable(const std::u16string& from, const std::u16string& to);
// Starts the program with the parameter text; does not wait for it.
bool StartProgram(const std::u16string& program, const std::u16string& parameters);

}  // namespace fernlite
