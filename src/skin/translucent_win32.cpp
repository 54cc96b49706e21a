#include "skin/translucent_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "skin/drawing_win32.h"

namespace fernlite {
namespace {

using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                            BLENDFUNCTION*, DWORD);
using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

constexpr wchar_t kButtonProperty[] = L"FernliteTranslucentButton";
// Window move by the caption: what a left press anywhere on the dialog starts.
constexpr WPARAM kMoveByCaption = 0xF012;

template <class Fn, class... Args>
bool CallUser32(const char* name, Args... args) {
  HMODULE user32 = LoadLibraryW(L"User32.DLL");
  if (!user32) return false;
  const auto function =
      reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
  const bool ok = function && function(args...);
  FreeLibrary(user32);
  return ok;
}

// The native side a translucent dialog presents and acts through.
class LayeredHost final : public LayeredWindowHost {
 public:
  explicit LayeredHost(HWND window) : window_(window) {}

  NativeWindow Handle() const override { return window_; }

  void Present(const Image& surface) override {
    const LONG_PTR extended = GetWindowLongPtrW(window_, GWL_EXSTYLE);
    if (!(extended & WS_EX_LAYERED))
      SetWindowLongPtrW(window_, GWL_EXSTYLE, extended | WS_EX_LAYERED);
    HDC screen = GetDC(window_);
    HDC memory = CreateCompatibleDC(screen);
    RECT rect{};
    GetWindowRect(window_, &rect);
    POINT destination{rect.left, rect.top};
    // Without a section (the surface could not be made) the screen keeps its last image.
    if (HBITMAP section = SurfaceBitmap(surface); section && memory) {
      HGDIOBJ previous = SelectObject(memory, section);
      SIZE size{surface.Width(), surface.Height()};
      POINT source{0, 0};
      BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      UpdateLayeredWindowByName(window_, screen, &destination, &size, memory, &source, 0, &blend,
                                ULW_ALPHA);
      SelectObject(memory, previous);
    }
    if (memory) DeleteDC(memory);
    ReleaseDC(window_, screen);
  }

  void PostAction(ButtonAction action) override {
    if (action == ButtonAction::Minimize) {
      PostMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else {
      PostMessageW(window_, WM_CLOSE, 0, 0);
    }
  }

  void MoveWindow(NativeWindow window, int x, int y) override {
    // No size, no z-order change, shown.
    if (window) SetWindowPos(static_cast<HWND>(window), nullptr, x, y, 0, 0, 0x45);
  }

  void SizeWindow(NativeWindow window, int width, int height) override {
    // No move, no z-order change.
    if (window) SetWindowPos(static_cast<HWND>(window), nullptr, 0, 0, width, height, 0x06);
  }

 private:
  HWND window_;
};

}  // namespace

bool UpdateLayeredWindowByName(HWND window, HDC screen, POINT* destination, SIZE* size, HDC source,
                               POINT* source_point, COLORREF key, BLENDFUNCTION* blend,
                               DWORD flags) {
  return CallUser32<UpdateLayeredWindowFn>("UpdateLayeredWindow", window, screen, destination, size,
                                           source, source_point, key, blend, flags);
}

bool SetLayeredWindowAttributesByName(HWND window, COLORREF key, BYTE alpha, DWORD flags) {
  return CallUser32<SetLayeredWindowAttributesFn>("SetLayeredWindowAttributes", window, key, alpha,
                                                  flags);
}

TranslucentDialogWindow::TranslucentDialogWindow(CTranslucentDialog& dialog) : dialog_(dialog) {}

TranslucentDialogWindow::~TranslucentDialogWindow() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

HWND TranslucentDialogWindow::Create(HWND owner) {
  if (window_) return window_;
  HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog_.DialogId()),
                                   owner, &DialogProc, reinterpret_cast<LPARAM>(this));
  if (!window) window_ = nullptr;
  return window;
}

INT_PTR CALLBACK TranslucentDialogWindow::DialogProc(HWND window, UINT message, WPARAM wparam,
                                                     LPARAM lparam) {
  auto* self = reinterpret_cast<TranslucentDialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<TranslucentDialogWindow*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    self->window_ = window;
  }
  if (!self) return FALSE;
  INT_PTR result = 0;
  if (!self->OnMessage(message, wparam, lparam, result)) return FALSE;
  if (message == WM_INITDIALOG) return result;
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  if (message == WM_NCDESTROY) self->window_ = nullptr;
  return TRUE;
}

bool TranslucentDialogWindow::OnMessage(UINT message, WPARAM, LPARAM lparam, INT_PTR& result) {
  switch (message) {
    case WM_INITDIALOG:
      InitTranslucent();
      result = TRUE;  // the system sets the default focus
      return true;
    case WM_ERASEBKGND:
      result = 1;  // nothing is erased: the layer is the whole look
      return true;
    case WM_MOVE:
      dialog_.OnMoved(SignedLow(static_cast<uint32_t>(lparam)),
                      SignedHigh(static_cast<uint32_t>(lparam)));
      return true;
    case WM_SIZE:
      dialog_.OnSized(UnsignedLow(static_cast<uint32_t>(lparam)),
                      UnsignedHigh(static_cast<uint32_t>(lparam)));
      return true;
    case WM_LBUTTONDOWN:
      if (!dialog_.Draggable) return false;
      // The system's move loop; the companion follows through WM_MOVE.
      SendMessageW(window_, WM_SYSCOMMAND, kMoveByCaption, 0);
      return true;
    case WM_NCDESTROY:
      for (const AttachedButton& attached : buttons_) {
        if (IsWindow(attached.window)) {
          SetWindowLongPtrW(attached.window, GWLP_WNDPROC,
                            reinterpret_cast<LONG_PTR>(attached.previous));
          RemovePropW(attached.window, kButtonProperty);
        }
      }
      buttons_.clear();
      return false;
    default: return false;
  }
}

void TranslucentDialogWindow::InitTranslucent() {
  RECT current{};
  GetWindowRect(window_, &current);
  const Image* background = dialog_.BackgroundImage();
  const int width = background ? background->Width() : 0;
  const int height = background ? background->Height() : 0;
  RECT framed{0, 0, width, height};
  AdjustWindowRect(&framed, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const WindowPlacement placement = InitialPlacement(
      Rect{current.left, current.top, current.right, current.bottom}, dialog_.Centred, width,
      height, framed.right - framed.left, framed.bottom - framed.top,
      Rect{work.left, work.top, work.right, work.bottom});

  dialog_.AdoptHost(std::make_unique<LayeredHost>(window_));
  LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
  style &= ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX);
  SetWindowLongPtrW(window_, GWL_STYLE, style | WS_POPUP);
  ::MoveWindow(window_, placement.x, placement.y, placement.width, placement.height, TRUE);

  // The companion, the controls and the first composition.
  dialog_.InitDialog(
      Rect{placement.x, placement.y, placement.x + placement.width, placement.y + placement.height},
      framed.right - framed.left, framed.bottom - framed.top,
      Rect{work.left, work.top, work.right, work.bottom});
  PlaceButtons();
  // The companion was made after the move: put it over the client area now.
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  RECT client{};
  GetClientRect(window_, &client);
  dialog_.OnMoved(origin.x, origin.y);
  dialog_.OnSized(client.right, client.bottom);
}

bool TranslucentDialogWindow::AttachButton(CTranslucentButton& button, int control_id) {
  HWND control = GetDlgItem(window_, control_id);
  if (!control) return false;
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  button.SetStyle(static_cast<uint32_t>(style));
  button.SyncStateFromStyle((style & WS_VISIBLE) != 0, (style & WS_DISABLED) != 0);
  SetPropW(control, kButtonProperty, this);
  const auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ButtonProc)));
  buttons_.push_back({control, &button, previous});
  return true;
}

void TranslucentDialogWindow::PlaceButtons() {
  for (const AttachedButton& attached : buttons_) {
    const Rect& bounds = attached.button->Bounds();
    SetWindowPos(attached.window, nullptr, bounds.left, bounds.top, bounds.Width(), bounds.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

LRESULT CALLBACK TranslucentDialogWindow::ButtonProc(HWND window, UINT message, WPARAM wparam,
                                                     LPARAM lparam) {
  auto* self = static_cast<TranslucentDialogWindow*>(GetPropW(window, kButtonProperty));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  const auto found =
      std::find_if(self->buttons_.begin(), self->buttons_.end(),
                   [window](const AttachedButton& attached) { return attached.window == window; });
  if (found == self->buttons_.end()) return DefWindowProcW(window, message, wparam, lparam);
  CTranslucentButton& button = *found->button;
  switch (message) {
    case WM_MOUSEMOVE:
      if (button.OnMouseMove()) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof track;
        track.dwFlags = TME_HOVER | TME_LEAVE;
        track.hwndTrack = window;
        track.dwHoverTime = 1;
        button.SetTracking(_TrackMouseEvent(&track) != FALSE);
      }
      return 0;
    case WM_MOUSEHOVER: button.OnMouseHover(); return 0;
    case WM_MOUSELEAVE: button.OnMouseLeave(); return 0;
    case WM_LBUTTONDOWN:
      button.OnLButtonDown();  // no capture: a release elsewhere is not this button's
      return 0;
    case WM_LBUTTONUP:
      // The release point as two unsigned halves: a point left of or above the button is far
      // outside it, never inside.
      if (const auto action = button.OnLButtonUp(UnsignedLow(static_cast<uint32_t>(lparam)),
                                                 UnsignedHigh(static_cast<uint32_t>(lparam)))) {
        self->dialog_.PostAction(*action);
      }
      return 0;
    case WM_ENABLE: button.OnEnable(wparam == 1); break;
    default: break;
  }
  return CallWindowProcW(found->previous, window, message, wparam, lparam);
}

}  // namespace fernlite
