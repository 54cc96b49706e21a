#include "app/startup.h"

#include "identity/user_data.h"
#include "platform/files.h"

namespace fernlite {
namespace {

bool g_drawing_available = false;

// The install decision: the first client directory, and the second only when the first could
// not be used. True when a copy was installed and this process is to end.
bool InstallFromHere(bool run_after_install, RunSettings& settings,
                     const InstallServices& services) {
  const int first = SelfInstall(ClientDir::kAppData, run_after_install, settings, services);
  if (first == kInstalled) return true;
  if (first != kInstallFailed) return false;
  return SelfInstall(ClientDir::kDrive, run_after_install, settings, services) == kInstalled;
}

}  // namespace

bool DrawingAvailable() {
  return g_drawing_available;
}

int RunLoop(LauncherWindows& windows, RunSettings& settings) {
  for (;;) {
    if (windows.RunLauncher() != kWindowClosed) return 1;
    // The launcher clears the flag only when it closed to start the game.
    if (settings.ExitAfterLauncher) return 1;
    const int game = windows.RunGameWindow();
    settings.ExitAfterLauncher = true;
    if (game != kWindowClosed) return 0;
  }
}

std::u16string MarkerPath(const std::u16string& own_path, const std::u16string& game_code) {
  return PathAppend(PathDirectory(own_path), game_code + u"_mark.mrk");
}

int RunStartup(const std::vector<std::u16string>& args, int show_command, RunSettings& settings,
               const StartupHooks& hooks) {
  const bool drawing = StartPlatformServices();
  g_drawing_available = drawing;

  StartupFlags flags;
  ParseCommandLine(args, settings, flags, hooks.command_line);

  InstallServices install = hooks.install;
  install.report = hooks.report;
  if (flags.InstallAllowed && InstallFromHere(flags.RunAfterInstall, settings, install)) {
    // The installed copy runs the launcher; this one only points at the new icon when it did
    // not start that copy.
    if (!flags.RunAfterInstall && hooks.windows) {
      if (hooks.sleep) hooks.sleep(kBubbleDelayMs);
      hooks.windows->ShowBubble(settings.CreatedShortcutName, show_command);
    }
    StopPlatformServices(drawing);
    return 0;
  }

  const std::u16string own_path = install.own_path.empty() ? GetModulePath() : install.own_path;
  const std::u16string marker = MarkerPath(own_path, settings.GameCode);
  if (hooks.report) hooks.report(u"45");
  // A marker that can be deleted was left by a run that never reached its shutdown.
  DeleteStaleFile(marker, hooks.report);
  const std::intptr_t marker_handle = HoldMarkerFile(marker);

  if (hooks.start_upgrade_worker) hooks.start_upgrade_worker();

  int exit_code = 1;
  if (hooks.windows) {
    hooks.windows->Open();
    exit_code = RunLoop(*hooks.windows, settings);
    if (flags.BubbleRequested) {
      hooks.windows->ShowBubble(settings.BubbleIconName, show_command);
    }
  }

  if (hooks.stop_upgrade_worker) hooks.stop_upgrade_worker(kUpgradeStopWaitMs);
  if (hooks.windows) hooks.windows->Close();
  StopPlatformServices(drawing);
  ReleaseMarkerFile(marker_handle);
  RemoveFile(marker);
  return exit_code;
}

}  // namespace fernlite
