// Translucent dialogs on GTK.
#pragma once

#include <string_view>

#include "skin/canvas.h"
#include "skin/translucent.h"

namespace fernlite {

// Creates the native window for `dialog`, initialises it and shows it. The window lives until
// the dialog closes it or the dialog is destroyed.
bool CreateTranslucentWindow(CTranslucentDialog& dialog, std::u16string_view title);

// The primary monitor's work area (the first monitor's without a primary one); empty when the
// display tells none.
Rect PrimaryWorkArea();

}  // namespace fernlite
