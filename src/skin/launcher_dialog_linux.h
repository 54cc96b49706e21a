// The launcher dialog's GTK window.
#pragma once

#include <string_view>

#include "skin/launcher_dialog.h"

namespace fernlite {

// Creates, initialises and shows the native window (title, icon, centred, and the framed look
// in JpgMode) with its background dialog and makes it the process's launcher window.
bool CreateLauncherWindow(CFernliteDlg& dialog, std::u16string_view title);

}  // namespace fernlite
