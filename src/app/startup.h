// The process's life: platform services, command line, self-install or the launcher with its
// marker file, start report, upgrade worker and run loop, and the ordered shutdown.
#pragma once

#include <string>
#include <vector>

#include "app/run_settings.h"

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

// The whole start-up and shutdown sequence; returns the exit code. Without windows (no display)
// the launcher part ends at once with 1. Reports go out on the reporting thread; the process
// waits for them only at its end, for at most kReportDrainBound.
int RunStartup(const std::vector<std::u16string>& args, int show_command, RunSettings& settings,
               LauncherWindows* windows);

// Whether the drawing library came up at start (selects the skin images).
bool DrawingAvailable();

}  // namespace fernlite
