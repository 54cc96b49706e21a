// The desktop icon bubble on Linux: an undecorated RGBA window kept below the others, and the
// desktop icon found through the accessibility bus (AT-SPI).
#pragma once

#include <optional>
#include <string>

#include "skin/icon_bubble.h"

namespace fernlite {

// The bubble window's title and class, so it can be told from the other windows.
inline constexpr char kBubbleWindowTitle[] = "VEXAIconBubble_12345678987654321";

// The screen rectangle of the desktop icon whose accessible name is `utf8_name`, compared byte
// for byte. The desktop is an application's top-level accessible with the desktop-frame role;
// the icon is an icon or list item inside it, or any child of a layered pane (an icon view).
// Bounded in depth, in objects and in time, and every bus call has a timeout, so a hung or
// hostile application on the bus cannot hold the bubble up.
std::optional<Rect> FindIconRect(const std::string& utf8_name);

// Shows the bubble beside the icon labelled `target` and returns when it has ended: 0, also
// when there is no display, or when another bubble for that label is running (a lock file in
// the runtime directory, held until the process ends).
int RunIconBubble(const std::u16string& target, int show_command);
// The same over another desktop (tests).
int RunIconBubble(const std::u16string& target, int show_command, const BubbleDesktop& desktop);

}  // namespace fernlite
