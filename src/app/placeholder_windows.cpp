// TEMPORARY: see placeholder_windows.h.
#include "app/placeholder_windows.h"

namespace fernlite {

std::u16string PlaceholderLauncherText(const RunSettings& settings) {
  return u"[placeholder] " + settings.GameTitle + u": the launcher would show " +
         settings.GuestBaseUrl + u"gid=" + settings.GameCode + u"&cid=" + settings.ChannelID +
         u"&ccid=" + settings.SubChannelID;
}

std::u16string PlaceholderGameText(const RunSettings& settings) {
  return u"[placeholder] the game window would open " + settings.GameUrl;
}

}  // namespace fernlite
