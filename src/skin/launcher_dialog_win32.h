// The launcher dialog's Win32 window: template 102 as a translucent layered frame (PngMode) or
// an ordinary framed window painted from the plain image (JpgMode).
#pragma once

#include <windows.h>

#include "skin/launcher_dialog.h"
#include "skin/translucent_win32.h"

namespace fernlite {

class LauncherDialogWindow final : public TranslucentDialogWindow {
 public:
  explicit LauncherDialogWindow(CFernliteDlg& dialog);

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

 private:
  void OnInitDialog();
  void PaintJpgMode();

  CFernliteDlg& launcher_;
};

}  // namespace fernlite
