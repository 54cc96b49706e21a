#include "skin/icon_bubble_win32.h"

#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>

#include "platform/handles_win32.h"
#include "platform/text.h"
#include "platform/bstr_win32.h"
#include "platform/wide_win32.h"
#include "skin/drawing_win32.h"
#include "skin/translucent_win32.h"

namespace fernlite {
namespace {

// More children than any desktop holds: a hostile count must not keep the bubble busy.
constexpr long kMaxAccessibleChildren = 65536;
constexpr UINT kKeepAtBottom = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

class NativeBubble final : public BubbleWindow {
 public:
  explicit NativeBubble(const BubbleDesktop& desktop) : bubble_(*this, desktop) {}

  HWND Create() {
    return CreateWindowExW(WS_EX_TOOLWINDOW, kBubbleWindowClass, L"Win32 API", WS_POPUP, 0, 0,
                           kBubbleWidth, kBubbleHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                           this);
  }
  // The window is gone after the loop without posting another quit.
  void Destroy() {
    quiet_ = true;
    if (IsWindow(window_)) DestroyWindow(window_);
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      auto* self = static_cast<NativeBubble*>(create->lpCreateParams);
      self->window_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<NativeBubble*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wparam, lparam);
    return self->Handle(message, wparam, lparam);
  }

  // BubbleWindow
  void Present(const Image& picture, int x, int y, int width, int height, uint8_t alpha) override {
    HBITMAP section = SurfaceBitmap(picture);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    if (section && memory) {
      HGDIOBJ previous = SelectObject(memory, section);
      POINT destination{x, y};
      POINT source{0, 0};
      // A window of no size cannot be layered: an invisible pixel stands for it.
      const bool hidden = width <= 0 || height <= 0;
      SIZE size{hidden ? 1 : width, hidden ? 1 : height};
      BLENDFUNCTION blend{AC_SRC_OVER, 0, hidden ? BYTE{0} : alpha, AC_SRC_ALPHA};
      UpdateLayeredWindowByName(window_, screen, &destination, &size, memory, &source, 0, &blend,
                                ULW_ALPHA);
      SelectObject(memory, previous);
    }
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    SetWindowPos(window_, HWND_BOTTOM, 0, 0, 0, 0, kKeepAtBottom);
  }
  void Place(int x, int y) override {
    SetWindowPos(window_, HWND_BOTTOM, x, y, kBubbleWidth, kBubbleHeight,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  void SetTimer(int id, int interval_ms) override {
    ::SetTimer(window_, static_cast<UINT_PTR>(id), static_cast<UINT>(interval_ms), nullptr);
  }
  void KillTimer(int id) override { ::KillTimer(window_, static_cast<UINT_PTR>(id)); }
  void SetHandCursor(bool hand) override {
    cursor_ = LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW);
    SetCursor(cursor_);
  }
  void End() override {
    // Inside WM_CREATE the window cannot go yet; the loop ends and takes it along.
    if (creating_) {
      PostQuitMessage(0);
    } else {
      DestroyWindow(window_);
    }
  }

 private:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    const int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
    switch (message) {
      case WM_CREATE: {
        const LONG_PTR extended = GetWindowLongPtrW(window_, GWL_EXSTYLE);
        if (!(extended & WS_EX_LAYERED))
          SetWindowLongPtrW(window_, GWL_EXSTYLE, extended | WS_EX_LAYERED);
        creating_ = true;
        bubble_.OnCreate();
        creating_ = false;
        return 0;
      }
      case WM_TIMER: bubble_.OnTimer(static_cast<int>(wparam)); return 0;
      case WM_MOUSEMOVE: bubble_.OnMouseMove(x, y); return 0;
      case WM_SETCURSOR: SetCursor(cursor_); return TRUE;
      case WM_LBUTTONDOWN:
        // Held until the release, so a drag off the bubble still reaches it.
        SetCapture(window_);
        bubble_.OnLButtonDown(x, y);
        return 0;
      case WM_LBUTTONUP:
        if (GetCapture() == window_) ReleaseCapture();
        bubble_.OnLButtonUp(x, y);
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window_, &paint);
        EndPaint(window_, &paint);
        bubble_.OnPaint();
        return 0;
      }
      case WM_MOVE: bubble_.OnMove(x, y); return 0;
      case WM_ACTIVATE: SetWindowPos(window_, HWND_BOTTOM, 0, 0, 0, 0, kKeepAtBottom); break;
      case WM_DESTROY:
        for (int id :
             {kBubbleFollowTimer, kBubbleFadeOutTimer, kBubbleRevealTimer, kBubbleFadeInTimer})
          ::KillTimer(window_, static_cast<UINT_PTR>(id));
        if (!quiet_) PostQuitMessage(0);
        return 0;
      case WM_NCDESTROY:
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        window_ = nullptr;
        break;
      default: break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
  }

  IconBubble bubble_;
  HWND window_ = nullptr;
  HCURSOR cursor_ = LoadCursorW(nullptr, IDC_ARROW);
  bool creating_ = false;
  bool quiet_ = false;
};

bool RegisterBubbleClass() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = NativeBubble::Procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = kBubbleWindowClass;
  // A bubble for another label earlier in this process registered it already.
  return RegisterClassExW(&window_class) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND ListViewUnder(HWND shell_view, const wchar_t* title) {
  return shell_view ? FindWindowExW(shell_view, nullptr, L"SysListView32", title) : nullptr;
}

}  // namespace

HWND FindDesktopListView() {
  HWND program_manager = FindWindowW(L"progman", nullptr);
  HWND shell_view = program_manager
                        ? FindWindowExW(program_manager, nullptr, L"SHELLDLL_DefView", nullptr)
                        : nullptr;
  if (HWND list = ListViewUnder(shell_view, nullptr)) return list;
  // With a wallpaper slideshow the view lives under one of the untitled WorkerW windows.
  for (HWND worker = FindWindowExW(nullptr, nullptr, L"WorkerW", L""); worker;
       worker = FindWindowExW(nullptr, worker, L"WorkerW", L"")) {
    if (HWND view = FindWindowExW(worker, nullptr, L"SHELLDLL_DefView", nullptr)) {
      return ListViewUnder(view, L"FolderView");
    }
  }
  return nullptr;
}

std::optional<Rect> FindIconRect(const std::string& ansi_name) {
  HWND list = FindDesktopListView();
  if (!list || !IsWindowVisible(list)) return std::nullopt;
  ComPtr<IAccessible> accessible;
  if (FAILED(AccessibleObjectFromWindow(list, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        accessible.put_void())) ||
      !accessible) {
    return std::nullopt;
  }
  long count = 0;
  if (FAILED(accessible->get_accChildCount(&count))) return std::nullopt;
  count = std::clamp(count, 0L, kMaxAccessibleChildren);
  for (long index = 0; index < count; ++index) {
    VARIANT child;
    VariantInit(&child);
    LONG obtained = 0;
    if (FAILED(AccessibleChildren(accessible.get(), index, 1, &child, &obtained)) ||
        obtained != 1 || child.vt == VT_DISPATCH) {
      VariantClear(&child);
      continue;
    }
    BSTR name = nullptr;
    bool same = false;
    if (SUCCEEDED(accessible->get_accName(child, &name)) && name) {
      same = ToAnsi(BstrText(name)) == ansi_name;
    }
    SysFreeString(name);
    std::optional<Rect> found;
    long left = 0, top = 0, width = 0, height = 0;
    if (same && SUCCEEDED(accessible->accLocation(&left, &top, &width, &height, child))) {
      found = RectXYWH(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                       static_cast<int>(height));
    }
    VariantClear(&child);
    if (found) return found;
  }
  return std::nullopt;
}

int RunIconBubble(const std::u16string& target, int show_command, const BubbleDesktop& desktop) {
  // One bubble per label at a time; the mutex is held until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, W(target));
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return 0;
  }
  if (!RegisterBubbleClass()) {
    MessageBoxW(nullptr, L"RegisterClassError!", L"Error", MB_ICONERROR);
    return 0;
  }
  NativeBubble bubble(desktop);
  HWND window = bubble.Create();
  if (!window) return 0;
  ShowWindow(window, show_command);
  UpdateWindow(window);
  MSG message;
  int result = 0;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (!got) {
      result = static_cast<int>(message.wParam);
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  bubble.Destroy();
  return result;
}

int RunIconBubble(const std::u16string& target, int show_command) {
  const std::string ansi_name = ToAnsi(target);
  BubbleDesktop desktop{[ansi_name] { return FindIconRect(ansi_name); },
                        [] { return GetSystemMetrics(SM_CXFULLSCREEN); }};
  return RunIconBubble(target, show_command, desktop);
}

}  // namespace fernlite
