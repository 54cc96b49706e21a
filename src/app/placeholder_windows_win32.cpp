// TEMPORARY: see placeholder_windows.h.
#include <windows.h>

#include "app/placeholder_windows.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

constexpr wchar_t kClassName[] = L"FernlitePlaceholder";

LRESULT CALLBACK PlaceholderProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(18);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class PlaceholderWindows : public LauncherWindows {
 public:
  explicit PlaceholderWindows(RunSettings& settings) : settings_(settings) {}

  void Open() override {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = PlaceholderProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kClassName;
    RegisterClassW(&window_class);
  }
  int RunLauncher() override { return Show(PlaceholderLauncherText(settings_)); }
  int RunGameWindow() override { return Show(PlaceholderGameText(settings_)); }
  void ShowBubble(const std::u16string&, int) override {}
  void Close() override { UnregisterClassW(kClassName, GetModuleHandleW(nullptr)); }

 private:
  int Show(const std::u16string& text) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND window = CreateWindowW(kClassName, W(settings_.GameTitle), WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 520, 160, nullptr, nullptr,
                                instance, nullptr);
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

std::unique_ptr<LauncherWindows> MakePlaceholderWindows(RunSettings& settings) {
  return std::make_unique<PlaceholderWindows>(settings);
}

}  // namespace fernlite
