// Translucent dialogs on Win32: a layered dialog made from its template, presenting the
// dialog's composed layer with UpdateLayeredWindow, its buttons the template's controls
// subclassed.
#pragma once

#include <windows.h>

#include <vector>

#include "skin/translucent.h"

namespace fernlite {

class TranslucentDialogWindow {
 public:
  explicit TranslucentDialogWindow(CTranslucentDialog& dialog);
  virtual ~TranslucentDialogWindow();
  TranslucentDialogWindow(const TranslucentDialogWindow&) = delete;
  TranslucentDialogWindow& operator=(const TranslucentDialogWindow&) = delete;

  // Modeless from the dialog's template with the given owner; null when it cannot be made.
  HWND Create(HWND owner = nullptr);
  HWND Handle() const { return window_; }
  CTranslucentDialog& Dialog() { return dialog_; }

 protected:
  // One message of the dialog; true when handled, with the dialog procedure's answer in
  // `result`. The base handles the framework's messages.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result);

  // The framework's initialisation: placement, companion window, popup style, controls and
  // the first composition.
  void InitTranslucent();
  // Makes the template's control `control_id` the button's window (subclassing it).
  bool AttachButton(CTranslucentButton& button, int control_id);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Puts the controls' windows where the portable buttons say they are.
  void PlaceButtons();

  struct AttachedButton {
    HWND window;
    CTranslucentButton* button;
    WNDPROC previous;
  };

  CTranslucentDialog& dialog_;
  HWND window_ = nullptr;
  std::vector<AttachedButton> buttons_;
};

// UpdateLayeredWindow and SetLayeredWindowAttributes, looked up by name in "User32.DLL" at
// each use (load, find, call, free); false when the function is missing or fails.
bool UpdateLayeredWindowByName(HWND window, HDC screen, POINT* destination, SIZE* size, HDC source,
                               POINT* source_point, COLORREF key, BLENDFUNCTION* blend,
                               DWORD flags);
bool SetLayeredWindowAttributesByName(HWND window, COLORREF key, BYTE alpha, DWORD flags);

}  // namespace fernlite
