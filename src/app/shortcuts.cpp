#include "app/shortcuts.h"

#include "app/shortcuts_platform.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/seam.h"

namespace fernlite {
namespace {

const ShortcutsPlatform& Os() {
  return Platform<ShortcutsPlatform>();
}

struct FolderResult {
  std::u16string arguments;
  std::u16string name;
  bool written = false;
};

// One folder's shortcut: an earlier one is replaced under its own name and keeps its arguments
// (and with them the channel of the first installation).
FolderResult MakeShortcutIn(const std::u16string& folder, const std::u16string& target,
                            const RunSettings& settings) {
  FolderResult result;
  const std::u16string earlier = FindEarlierShortcut(folder, settings.GameTitle);
  if (!earlier.empty()) {
    result.arguments = Os().read_arguments(earlier);
    if (result.arguments.empty()) result.arguments = kDefaultShortcutArguments;
    result.name = RemoveEarlierShortcuts(folder, settings.GameTitle);
    // A file that could not be deleted is overwritten under its own name rather than
    // writing a shortcut without a name.
    if (result.name.empty()) {
      const std::u16string file = PathFileName(earlier);
      result.name = file.substr(0, file.size() - Os().extension.size());
    }
  } else {
    result.arguments = NewShortcutArguments(settings);
    result.name = settings.ShortcutName;
  }
  result.written = Os().write(target, ShortcutPath(folder, result.name), result.arguments);
  return result;
}

}  // namespace

ShortcutFolders UserShortcutFolders() {
  return Os().user_folders();
}

std::u16string ShortcutExtension() {
  return Os().extension;
}

std::u16string ShortcutPath(std::u16string_view folder, std::u16string_view name) {
  return PathAppend(folder, std::u16string(name) + Os().extension);
}

// One value as one element of the command line, so the parser reads back exactly this value:
// an empty one would let the next switch name become the value, and blanks or quotes would
// split it into switches of their own. Plain values stay as they always were.
std::u16string ChannelArgument(const std::u16string& value) {
  if (value.empty()) return u"null";
  if (value.find_first_of(u" \t\"") == std::u16string::npos) return value;
  return QuoteArgument(value);
}

std::u16string NewShortcutArguments(const RunSettings& settings) {
  return u" /C " + ChannelArgument(settings.ChannelID) + u" /CC " +
         ChannelArgument(settings.SubChannelID);
}

std::u16string FindEarlierShortcut(std::u16string_view folder, std::u16string_view game_title) {
  for (const char16_t* prefix : {kShortcutPrefixVexa, kShortcutPrefixRix}) {
    const std::u16string path = ShortcutPath(folder, prefix + std::u16string(game_title));
    if (FileExists(path)) return path;
  }
  return {};
}

std::u16string RemoveEarlierShortcuts(std::u16string_view folder, std::u16string_view game_title) {
  std::u16string removed;
  for (const char16_t* prefix : {kShortcutPrefixRix, kShortcutPrefixVexa}) {
    const std::u16string name = prefix + std::u16string(game_title);
    const std::u16string path = ShortcutPath(folder, name);
    if (FileExists(path) && RemoveFile(path)) removed = name;
  }
  return removed;
}

std::u16string CreateShortcuts(const std::u16string& target, RunSettings& settings,
                               const ShortcutFolders& folders) {
  const std::u16string link_target = target.empty() ? GetModulePath() : target;
  std::u16string arguments;
  if (folders.desktop) {
    FolderResult desktop = MakeShortcutIn(*folders.desktop, link_target, settings);
    arguments = desktop.arguments;
    if (desktop.written) settings.CreatedShortcutName = desktop.name;
  }
  if (settings.StartupShortcut && folders.startup) {
    arguments = MakeShortcutIn(*folders.startup, link_target, settings).arguments;
  }
  return arguments;
}

}  // namespace fernlite
