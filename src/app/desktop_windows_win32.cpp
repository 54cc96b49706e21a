// Interim Windows windows until the layered launcher dialog and the game window are ported:
// each says in plain text what it stands for.
#include <windows.h>

#include "app/desktop_windows.h"
#include "game/standard_dialog.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

constexpr wchar_t kClassName[] = L"FernliteInterimWindow";

LRESULT CALLBACK InterimProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(18);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class InterimWindows : public LauncherWindows {
 public:
  explicit InterimWindows(RunSettings& settings) : settings_(settings) {}

  void Open() override {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = InterimProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kClassName;
    RegisterClassW(&window_class);
  }
  int RunLauncher() override { return Show(settings_.GameTitle + u": " + GuestEntryUrl()); }
  int RunGameWindow() override {
    return Show(settings_.GameWindowTitle + u": " + settings_.GameUrl);
  }
  void ShowBubble(const std::u16string&, int) override {}
  void Close() override { UnregisterClassW(kClassName, GetModuleHandleW(nullptr)); }

 private:
  int Show(const std::u16string& text) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND window =
        CreateWindowW(kClassName, W(settings_.GameTitle), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 520, 160, nullptr, nullptr, instance, nullptr);
    if (!window) return kWindowNotCreated;
    CreateWindowW(L"STATIC", W(text), WS_CHILD | WS_VISIBLE, 10, 10, 480, 100, window, nullptr,
                  instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return kWindowClosed;
  }

  RunSettings& settings_;
};

}  // namespace

std::unique_ptr<LauncherWindows> MakeDesktopWindows(RunSettings& settings) {
  return std::make_unique<InterimWindows>(settings);
}

}  // namespace fernlite
