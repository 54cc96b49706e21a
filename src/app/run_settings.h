// The process-wide run settings: the build's fixed identity, the values the command line may
// override, and the game-window request that page scripts hand over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "build_config.h"

namespace fernlite {

struct RunSettings {
  std::u16string GuestBaseUrl = std::u16string(build::kGameHost) + u"/guest/c1/?";
  std::u16string GameTitle = build::kGameTitle;
  std::u16string GameCode = build::kGameCode;
  std::u16string ChannelID;
  std::u16string SubChannelID;
  std::u16string ExeName = build::kExeName;
  std::u16string InstallDir;
  std::u16string DefaultChannelID = build::kDefaultChannelID;
  std::u16string DefaultSubChannelID = build::kDefaultSubChannelID;
  bool FixedChannel = build::kFixedChannel;
  std::u16string ShortcutName = u"VEXA-" + std::u16string(build::kGameTitle);
  bool StartupShortcut = false;
  std::u16string BubbleIconName;
  std::u16string CreatedShortcutName;
  bool ExitAfterLauncher = true;

  // Handed over by page scripts through the script bridge.
  std::u16string UserInfo;
  std::u16string Ext;
  std::u16string ServerID;
  std::u16string PlayerName;
  std::u16string GameUrl;
  std::u16string GameWindowTitle;
  std::int32_t StartMaximized = 0;
  std::int32_t GameWindowWidth = 600;
  std::int32_t GameWindowHeight = 400;
};

// The one record of the process; created with the built-in values on first use and never
// destroyed (a thread that outlives main() may still read GameCode).
RunSettings& Settings();

// Decisions of the command line that only the start-up sequence needs.
struct StartupFlags {
  bool InstallAllowed = true;
  bool RunAfterInstall = build::kRunAfterInstall;
  bool BubbleRequested = false;
  // The /D file, deleted in the background as soon as parsing is done; empty for none.
  std::u16string DeletePath;
};

// The element after the first whole, case-insensitive match of `name` (element 0, the program
// path, is skipped); empty when the switch is absent or is the last element. The element after
// any switch the program knows is that switch's value, whatever it looks like, and is never
// taken for a switch itself: a channel called "/D" names no file to delete.
std::u16string LookupSwitch(const std::vector<std::u16string>& args, std::u16string_view name);

// "null" in any case stands for "no channel".
std::u16string NormaliseChannel(std::u16string_view value);

// Fills the settings and flags from the arguments (element 0 is the program). Asks the process
// list whether the full client runs; FixedChannel decides the defaults.
void ParseCommandLine(const std::vector<std::u16string>& args, RunSettings& settings,
                      StartupFlags& flags);

}  // namespace fernlite
