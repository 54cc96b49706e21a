// The process's life: platform services, command line, self-install or the launcher with its
// marker file, start report, upgrade worker and run loop, and the ordered shutdown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "app/self_install.h"

namespace fernlite {

// Results of the window calls of the run loop.
inline constexpr int kWindowClosed = 0;
inline constexpr int kWindowNotCreated = -1;

// How long shutdown waits for the upgrade worker before abandoning it.
inline constexpr int kUpgradeStopWaitMs = 1000;
// Pause before the bubble after an install without a relaunch.
inline constexpr int kBubbleDelayMs = 1000;

// The windows of the launcher, kept behind an interface so the sequence can be driven without
// a display. Each Run call owns a message loop of its own and returns when its window ends.
struct LauncherWindows {
  virtual ~LauncherWindows() = default;
  // Before the first window: the script bridge and the browser host window classes.
  virtual void Open() = 0;
  // The launcher dialog; kWindowClosed when it ran and was closed, kWindowNotCreated otherwise.
  virtual int RunLauncher() = 0;
  // The game window from the request in the run settings; results as for RunLauncher.
  virtual int RunGameWindow() = 0;
  // The speech bubble next to the desktop icon with this label; returns when it has ended.
  virtual void ShowBubble(const std::u16string& icon_label, int show_command) = 0;
  // After the last window: shuts the window module down and deletes the script bridge.
  virtual void Close() = 0;
};

// Launcher and game window in turn until the launcher closes without a game request (1), or a
// window cannot be created (launcher 1, game window 0).
int RunLoop(LauncherWindows& windows, RunSettings& settings);

// Directory of the executable + GameCode + "_mark.mrk".
std::u16string MarkerPath(const std::u16string& own_path, const std::u16string& game_code);

// Everything the sequence calls outside itself.
struct StartupHooks {
  EventReporter report;
  CommandLineEnvironment command_line;
  InstallServices install;  // its report is replaced by the one above
  std::function<bool()> start_upgrade_worker;
  std::function<void(int wait_ms)> stop_upgrade_worker;
  std::function<void(int ms)> sleep;
  LauncherWindows* windows = nullptr;
};

// The whole start-up and shutdown sequence; returns the exit code.
int RunStartup(const std::vector<std::u16string>& args, int show_command, RunSettings& settings,
               const StartupHooks& hooks);

// The process entry's call: the sequence with the real services and windows.
int RunProcess(const std::vector<std::u16string>& args, int show_command);

// Whether the drawing library came up at start (selects the skin images).
bool DrawingAvailable();

// Platform side.
// COM for this thread and the drawing library; true when the drawing library is available.
bool StartPlatformServices();
void StopPlatformServices(bool drawing_started);
// Opens the marker file, creating it, so that no other process can delete it while it is
// held (Windows: no delete sharing; Linux: a shared flock, which RemoveFile respects). A second
// launcher opens the same file. Returns -1 when it cannot be opened.
std::intptr_t HoldMarkerFile(const std::u16string& path);
void ReleaseMarkerFile(std::intptr_t handle);

}  // namespace fernlite
