// The standard dialogs' GTK windows.
#pragma once

#include <memory>

#include "game/standard_dialog.h"

namespace fernlite {

// The launcher's background dialog with its GTK window, owned by `owner` once created.
std::unique_ptr<CSTDBackgroundDlg> MakeBackgroundDialog(NativeWindow owner);

}  // namespace fernlite
