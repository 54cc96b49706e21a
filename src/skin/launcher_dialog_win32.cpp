#include "skin/launcher_dialog_win32.h"

#include "app/run_settings.h"
#include "game/script_bridge_win32.h"
#include "game/standard_dialog_win32.h"
#include "platform/wide_win32.h"
#include "skin/picture_win32.h"

namespace fernlite {
namespace {

// JpgMode: an ordinary window with caption and system menu, no maximise box, no sizing frame.
constexpr LONG_PTR kOverlappedWindow = 0x00CF0000;
constexpr LONG_PTR kMaximizeBoxAndThickFrame = 0x00050000;

// Centres over the owner, or in the work area when there is none.
void CentreWindow(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  RECT area{};
  HWND owner = GetWindow(window, GW_OWNER);
  if (!owner || !GetWindowRect(owner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

LauncherDialogWindow::LauncherDialogWindow(CFernliteDlg& dialog)
    : TranslucentDialogWindow(dialog), launcher_(dialog) {
  launcher_.make_background = [](NativeWindow owner) { return MakeBackgroundDialog(owner); };
}

bool LauncherDialogWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      result = TRUE;
      return true;
    case WM_CLOSE: DestroyWindow(Handle()); return true;
    case WM_PAINT:
      if (launcher_.Mode() != LauncherMode::kJpg) return false;  // the layer is the look
      PaintJpgMode();
      return true;
    case WM_USER + 1: launcher_.OnStartGameRequest(); return true;
    default: break;
  }
  if (TranslucentDialogWindow::OnMessage(message, wparam, lparam, result)) return true;
  if (message == WM_DESTROY) {
    launcher_.OnDestroy();
    PostQuitMessage(18);
    return true;
  }
  return launcher_.OnPageMessage(message);
}

void LauncherDialogWindow::OnInitDialog() {
  HWND window = Handle();
  if (launcher_.Mode() == LauncherMode::kPng) {
    AttachButton(launcher_.CloseButton(), kCloseControlId);
    AttachButton(launcher_.MinimizeButton(), kMinimizeControlId);
  }
  InitTranslucent();
  SetWindowTextW(window, W(Settings().GameTitle));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto large = reinterpret_cast<LPARAM>(
      LoadImageW(instance, MAKEINTRESOURCEW(kLauncherIcon), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                 GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  const auto small = reinterpret_cast<LPARAM>(
      LoadImageW(instance, MAKEINTRESOURCEW(kLauncherIcon), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  SendMessageW(window, WM_SETICON, ICON_BIG, large);
  SendMessageW(window, WM_SETICON, ICON_SMALL, small);
  CentreWindow(window);
  SetFocus(window);
  if (launcher_.Mode() == LauncherMode::kJpg) {
    SetWindowLongPtrW(window, GWL_STYLE, kOverlappedWindow & ~kMaximizeBoxAndThickFrame);
    SetWindowLongPtrW(
        window, GWL_EXSTYLE,
        GetWindowLongPtrW(window, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
    ShowWindow(GetDlgItem(window, kCloseControlId), SW_HIDE);
    SetWindowPos(window, nullptr, 0, 0, kJpgWindowWidth, kJpgWindowHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_FRAMECHANGED);
  }
  SetLauncherWindowHandle(window);
}

void LauncherDialogWindow::PaintJpgMode() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(Handle(), &paint);
  const RECT rect{kJpgPaintRect.left, kJpgPaintRect.top, kJpgPaintRect.right, kJpgPaintRect.bottom};
  if (dc) PaintPictureResource(dc, kLauncherJpgImage, L"JPG", rect);
  EndPaint(Handle(), &paint);
}

}  // namespace fernlite
