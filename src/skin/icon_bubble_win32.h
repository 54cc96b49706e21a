// The desktop icon bubble on Windows: a layered tool window at the bottom of the z-order, and
// the desktop icon found through the shell's list view and its accessibility interface.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "skin/icon_bubble.h"

namespace fernlite {

inline constexpr wchar_t kBubbleWindowClass[] = L"VEXAIconBubble_12345678987654321";

// The desktop's icon list: progman → SHELLDLL_DefView → SysListView32, else the view under
// the first untitled WorkerW that holds one; null when there is none.
HWND FindDesktopListView();
// The screen rectangle of the desktop icon whose accessible name is `ansi_name` (compared
// byte for byte in the thread's ANSI code page).
std::optional<Rect> FindIconRect(const std::string& ansi_name);

// Shows the bubble beside the icon labelled `target` and returns when it has ended (0 also
// when another bubble for that label is running, or the window cannot be made).
int RunIconBubble(const std::u16string& target, int show_command);
// The same over another desktop (tests).
int RunIconBubble(const std::u16string& target, int show_command, const BubbleDesktop& desktop);

}  // namespace fernlite
