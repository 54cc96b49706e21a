// Process entry of the Windows build: puts the platform in place and runs the launcher.
#include <windows.h>

#include "app/desktop_windows.h"
#include "app/run_settings.h"
#include "app/startup.h"
#include "platform/process.h"
#include "platform/native_tables.h"

// The command line comes from the process's own argument vector, split by the shell's rules.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  fernlite::InstallPlatform();
  fernlite::RunSettings& settings = fernlite::Settings();
  const auto windows = fernlite::MakeDesktopWindows(settings);
  return fernlite::RunStartup(fernlite::ProcessArguments(0, nullptr), show_command, settings,
                              windows.get());
}
