// The real services behind the start-up sequence. Kept apart from the sequence itself so
// tests of the sequence link without a network, an upgrade worker or windows.
#include <chrono>
#include <thread>

#include "app/delete_file_worker.h"
#include "app/file_version.h"
#include "app/desktop_windows.h"
#include "app/startup.h"
#include "app/upgrade_worker.h"
#include "net/report.h"
#include "platform/process.h"

namespace fernlite {

InstallServices DefaultInstallServices() {
  InstallServices services;
  services.report = [](std::u16string_view event) { Report(event); };
  services.file_version = [](const std::u16string& path) { return FileVersionText(path); };
  services.start_process = [](const std::u16string& program, const std::u16string& parameters) {
    return StartProgram(program, parameters);
  };
  services.shortcut_folders = UserShortcutFolders();
  return services;
}

int RunProcess(const std::vector<std::u16string>& args, int show_command) {
  RunSettings& settings = Settings();
  const std::unique_ptr<LauncherWindows> windows = MakeDesktopWindows(settings);
  StartupHooks hooks;
  hooks.report = [](std::u16string_view event) { Report(event); };
  hooks.command_line.is_process_running = [](std::u16string_view name) {
    return IsProcessRunning(name);
  };
  hooks.command_line.start_delete_worker = [](std::u16string path) {
    StartDeleteFileWorker(std::move(path));
  };
  hooks.install = DefaultInstallServices();
  hooks.start_upgrade_worker = [] { return StartUpgradeWorker(); };
  hooks.stop_upgrade_worker = [](int wait_ms) { StopUpgradeWorker(wait_ms); };
  hooks.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  hooks.windows = windows.get();
  return RunStartup(args, show_command, settings, hooks);
}

}  // namespace fernlite
