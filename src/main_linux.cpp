// Process entry of the Linux build: puts the platform in place and runs the launcher.
#include "app/desktop_windows.h"
#include "app/run_settings.h"
#include "app/startup.h"
#include "platform/process.h"
#include "platform/native_tables.h"

int main(int argc, char** argv) {
  fernlite::InstallPlatform();
  fernlite::RunSettings& settings = fernlite::Settings();
  const auto windows = fernlite::MakeDesktopWindows(settings);
  // 1 is the "show normally" command a desktop start gives on Windows.
  return fernlite::RunStartup(fernlite::ProcessArguments(argc, argv), 1, settings, windows.get());
}
