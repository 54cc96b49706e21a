#include "app/startup.h"

#include <chrono>
#include <thread>

#include "app/delete_file_worker.h"
#include "app/self_install.h"
#include "app/startup_platform.h"
#include "app/upgrade_worker.h"
#include "identity/user_data.h"
#include "net/report.h"
#include "platform/files.h"
#include "platform/seam.h"

namespace fernlite {
namespace {

bool g_drawing_available = false;

// The install decision: the first client directory, and the second only when the first could
// not be used. True when a copy was installed and this process is to end.
bool InstallFromHere(bool run_after_install, RunSettings& settings) {
  const int first = SelfInstall(ClientDir::kAppData, run_after_install, settings);
  if (first == kInstalled) return true;
  if (first != kInstallFailed) return false;
  return SelfInstall(ClientDir::kDrive, run_after_install, settings) == kInstalled;
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
               LauncherWindows* windows) {
  const StartupPlatform& os = Platform<StartupPlatform>();
  const bool drawing = os.start_services();
  g_drawing_available = drawing;

  StartupFlags flags;
  ParseCommandLine(args, settings, flags);
  if (!flags.DeletePath.empty()) StartDeleteFileWorker(flags.DeletePath);

  if (flags.InstallAllowed && InstallFromHere(flags.RunAfterInstall, settings)) {
    // The installed copy runs the launcher; this one only points at the new icon when it did
    // not start that copy.
    if (!flags.RunAfterInstall) {
      if (windows) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kBubbleDelayMs));
        windows->ShowBubble(settings.CreatedShortcutName, show_command);
      }
      // The relaunch path waited before starting the copy; this one waits before ending.
      DrainReports();
    }
    os.stop_services(drawing);
    return 0;
  }

  const std::u16string marker = MarkerPath(GetModulePath(), settings.GameCode);
  QueueReport(u"45");
  // A marker that can be deleted was left by a run that never reached its shutdown.
  DeleteStaleFile(marker, QueueReport);
  const std::intptr_t marker_handle = os.hold_marker(marker);

  StartUpgradeWorker();

  int exit_code = 1;
  if (windows) {
    windows->Open();
    exit_code = RunLoop(*windows, settings);
    if (flags.BubbleRequested) windows->ShowBubble(settings.BubbleIconName, show_command);
  }

  StopUpgradeWorker(kUpgradeStopWaitMs);
  if (windows) windows->Close();
  os.stop_services(drawing);
  os.release_marker(marker_handle);
  RemoveFile(marker);
  // Last, so a stalled collector holds up nothing but the end of the process.
  DrainReports();
  return exit_code;
}

}  // namespace fernlite
