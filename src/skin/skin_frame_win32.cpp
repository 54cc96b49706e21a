#include "skin/skin_frame_win32.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "game/guest_link.h"
#include "platform/wide_win32.h"
#include "skin/drawing_win32.h"

namespace fernlite {
namespace {

// The themed caption and frame drawing requests: the frame draws itself instead.
constexpr UINT kThemedCaptionPaint = 0x00AE;
constexpr UINT kThemedFramePaint = 0x00AF;

// Hover tracking only serves to learn when the pointer leaves; the shortest delay will do.
constexpr DWORD kHoverTime = 1;

struct WindowBox {
  RECT rect{};
  int width = 0;
  int height = 0;
};

WindowBox BoxOf(HWND window) {
  WindowBox box;
  if (GetWindowRect(window, &box.rect)) {
    box.width = box.rect.right - box.rect.left;
    box.height = box.rect.bottom - box.rect.top;
  }
  return box;
}

// A non-client message's screen point in the window's own coordinates.
POINT WindowPoint(HWND window, LPARAM lparam) {
  const WindowBox box = BoxOf(window);
  return POINT{GET_X_LPARAM(lparam) - box.rect.left, GET_Y_LPARAM(lparam) - box.rect.top};
}

LRESULT HitCode(FrameHit hit) {
  switch (hit) {
    case FrameHit::kClose: return HTCLOSE;
    case FrameHit::kMaximize: return HTMAXBUTTON;
    case FrameHit::kMinimize: return HTMINBUTTON;
    case FrameHit::kSysMenu: return HTSYSMENU;
    default: return HTCAPTION;
  }
}

bool IsSizingCode(WPARAM code) {
  return code >= HTLEFT && code <= HTBOTTOMRIGHT;
}

uint32_t* SectionBits(HBITMAP section) {
  DIBSECTION dib{};
  if (!section || GetObjectW(section, sizeof dib, &dib) != sizeof dib) return nullptr;
  return static_cast<uint32_t*>(dib.dsBm.bmBits);
}

// The icon drawn on black and on white: the difference is how much of the background shows,
// which gives the alpha for masked icons and for icons with their own alpha alike, whatever
// GDI leaves in the alpha byte.
Image IconImage(HICON icon) {
  Image image = Image::Surface(kSmallIconSize, kSmallIconSize);
  HBITMAP section = SurfaceBitmap(image);
  uint32_t* bits = SectionBits(section);
  if (!bits) return {};
  const size_t count = static_cast<size_t>(kSmallIconSize) * kSmallIconSize;
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) return {};
  HGDIOBJ previous = SelectObject(memory, section);
  std::vector<uint32_t> on_black(count), on_white(count);
  bool drawn = true;
  for (auto* pass : {&on_black, &on_white}) {
    GdiFlush();
    std::fill(bits, bits + count, pass == &on_black ? 0x00000000u : 0x00FFFFFFu);
    drawn = drawn &&
            DrawIconEx(memory, 0, 0, icon, kSmallIconSize, kSmallIconSize, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::copy(bits, bits + count, pass->begin());
  }
  SelectObject(memory, previous);
  DeleteDC(memory);
  if (!drawn) return {};
  for (size_t i = 0; i < count; ++i) {
    uint32_t shown = 0;  // the most of the white background any channel lets through
    for (int shift = 0; shift < 24; shift += 8) {
      const int black = (on_black[i] >> shift) & 0xFF, white = (on_white[i] >> shift) & 0xFF;
      shown = std::max<uint32_t>(shown, static_cast<uint32_t>(std::clamp(white - black, 0, 255)));
    }
    const uint32_t alpha = 255 - shown;
    uint32_t pixel = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8)
      pixel |= std::min<uint32_t>((on_black[i] >> shift) & 0xFF, alpha) << shift;
    bits[i] = pixel;
  }
  return image;
}

std::u16string WindowTitle(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  return FromWide(text.c_str(), static_cast<size_t>(std::clamp(copied, 0, length)));
}

void SendSysCommand(HWND window, WPARAM command) {
  SendMessageW(window, WM_SYSCOMMAND, command, 0);
}

}  // namespace

Win32SkinFrame::~Win32SkinFrame() {
  Detach();
}

bool Win32SkinFrame::Attach(HWND window) {
  if (window_ || !window || !IsWindow(window) || GetPropW(window, kSkinFrameProperty)) return false;
  if (!SetPropW(window, kSkinFrameProperty, this)) return false;
  SetLastError(ERROR_SUCCESS);
  const LONG_PTR previous =
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
  if (!previous) {
    RemovePropW(window, kSkinFrameProperty);
    return false;
  }
  window_ = window;
  previous_ = reinterpret_cast<WNDPROC>(previous);
  tracking_ = false;

  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  SkinFrame::Style frame_style;
  frame_style.has_maximize = (style & WS_MAXIMIZEBOX) != 0;
  frame_style.has_minimize = (style & WS_MINIMIZEBOX) != 0;
  frame_style.has_system_menu = (style & WS_SYSMENU) != 0;
  frame_.AttachStyle(frame_style, BoxOf(window).width, window);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return true;
}

void Win32SkinFrame::Detach() {
  if (!window_) return;
  HWND window = std::exchange(window_, nullptr);
  WNDPROC previous = std::exchange(previous_, nullptr);
  tracking_ = false;
  if (!IsWindow(window)) return;
  // Only when nobody subclassed on top of us; otherwise their chain would be cut. Without the
  // property our procedure answers nothing from then on.
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Procedure))
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  if (GetPropW(window, kSkinFrameProperty) == this) RemovePropW(window, kSkinFrameProperty);
}

LRESULT CALLBACK Win32SkinFrame::Procedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  auto* self = static_cast<Win32SkinFrame*>(GetPropW(window, kSkinFrameProperty));
  if (!self || self->window_ != window) return 0;
  return self->Handle(message, wparam, lparam);
}

LRESULT Win32SkinFrame::Previous(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  WNDPROC previous = previous_;
  if (!previous) return DefWindowProcW(window, message, wparam, lparam);
  return CallWindowProcW(previous, window, message, wparam, lparam);
}

bool Win32SkinFrame::StillAttached(HWND window) const {
  // Compared, never followed: after a close the object may be gone.
  return IsWindow(window) && GetPropW(window, kSkinFrameProperty) == this;
}

LRESULT Win32SkinFrame::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  // Actions below may destroy the window and this object with it: from the first such call
  // on, only locals are used.
  HWND window = window_;
  switch (message) {
    case WM_SIZE: {
      const LRESULT result = Previous(message, wparam, lparam);
      if (!StillAttached(window)) return result;
      if (wparam != SIZE_MINIMIZED && wparam != SIZE_MAXHIDE) {
        const WindowBox box = BoxOf(window);
        // The window owns the region once it is set.
        if (HRGN region = CreateRoundRectRgn(0, 0, box.width + 1, box.height + 1, 5, 5);
            region && !SetWindowRgn(window, region, TRUE))
          DeleteObject(region);
        frame_.LayoutButtons(box.width);
      }
      if (wparam == SIZE_RESTORED || wparam == SIZE_MAXIMIZED) PaintFrame();
      return result;
    }
    case WM_ACTIVATE: {
      const LRESULT result = Previous(message, wparam, lparam);
      if (StillAttached(window)) PaintFrame();
      return result;
    }
    case WM_GETMINMAXINFO:
      if (auto* info = reinterpret_cast<MINMAXINFO*>(lparam))
        info->ptMinTrackSize.y = kMinFrameHeight;
      return Previous(message, wparam, lparam);
    case WM_NCCALCSIZE: {
      if (!wparam || !lparam) return Previous(message, wparam, lparam);
      RECT& proposed = reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam)->rgrc[0];
      proposed.top += kCaptionHeight;
      proposed.left += kBorderWidth;
      proposed.right -= kBorderWidth;
      proposed.bottom -= kBorderWidth;
      return 0;
    }
    case WM_NCHITTEST: {
      const POINT point = WindowPoint(window, lparam);
      if (const std::optional<FrameHit> hit =
              frame_.CaptionHitTest(point.x, point.y, BoxOf(window).width))
        return HitCode(*hit);
      return Previous(message, wparam, lparam);
    }
    case WM_NCPAINT:
    case kThemedCaptionPaint:
    case kThemedFramePaint: PaintFrame(); return 0;
    case WM_NCACTIVATE: PaintFrame(); return 1;
    case WM_NCMOUSEMOVE: {
      if (!tracking_) {
        TRACKMOUSEEVENT request{};
        request.cbSize = sizeof request;
        request.dwFlags = TME_HOVER | TME_LEAVE | TME_NONCLIENT;
        request.hwndTrack = window;
        request.dwHoverTime = kHoverTime;
        tracking_ = TrackMouseEvent(&request) != FALSE;
      }
      if (IsSizingCode(wparam) || wparam == HTCAPTION) return Previous(message, wparam, lparam);
      const POINT point = WindowPoint(window, lparam);
      if (frame_.PointerMoved(point.x, point.y)) PaintFrame();
      return 0;
    }
    case WM_NCMOUSEHOVER: return 1;
    case WM_NCMOUSELEAVE:
      tracking_ = false;
      frame_.PointerLeft();
      PaintFrame();
      return 1;
    case WM_NCLBUTTONDOWN: {
      const POINT point = WindowPoint(window, lparam);
      if (frame_.PointerPressed(point.x, point.y)) {
        PaintFrame();
        return 1;
      }
      if (frame_.IconRect().Contains(point.x, point.y)) {
        ShowSystemMenu(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        return 1;
      }
      return Previous(message, wparam, lparam);
    }
    case WM_NCLBUTTONUP: return OnButtonUp(message, wparam, lparam);
    case WM_NCLBUTTONDBLCLK: {
      const POINT point = WindowPoint(window, lparam);
      if (frame_.DoubleClicked(point.x, point.y))
        ShowWindow(window, IsZoomed(window) ? SW_RESTORE : SW_MAXIMIZE);
      if (StillAttached(window)) PaintFrame();
      return 1;
    }
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != SC_CLOSE) PaintFrame();
      return Previous(message, wparam, lparam);
    case WM_UNINITMENUPOPUP: PaintFrame(); return Previous(message, wparam, lparam);
    case WM_NCDESTROY: {
      // The last message: the window must not call into us after this.
      WNDPROC previous = previous_;
      Detach();
      return previous ? CallWindowProcW(previous, window, message, wparam, lparam)
                      : DefWindowProcW(window, message, wparam, lparam);
    }
    default: return Previous(message, wparam, lparam);
  }
}

LRESULT Win32SkinFrame::OnButtonUp(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  const POINT point = WindowPoint(window, lparam);
  const int32_t id = frame_.HitTestButton(point.x, point.y);
  if (id == -1) return Previous(message, wparam, lparam);
  switch (frame_.PointerReleased(point.x, point.y, IsZoomed(window) != FALSE)) {
    case CaptionAction::kClose: SendSysCommand(window, SC_CLOSE); return 0;
    case CaptionAction::kMaximize: SendSysCommand(window, SC_MAXIMIZE); return 0;
    case CaptionAction::kRestore: SendSysCommand(window, SC_RESTORE); return 0;
    case CaptionAction::kMinimize: SendSysCommand(window, SC_MINIMIZE); return 0;
    case CaptionAction::kBind:
      if (on_bind)
        on_bind();
      else
        RunBindAction([window] { SendSysCommand(window, SC_CLOSE); });
      break;
    case CaptionAction::kPay:
      if (on_pay)
        on_pay();
      else
        RunPayAction();
      break;
    case CaptionAction::kCommand:
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
      break;
    case CaptionAction::kNone: break;
  }
  // The released button shows its normal state again.
  if (StillAttached(window)) PaintFrame();
  return 0;
}

void Win32SkinFrame::ShowSystemMenu(int screen_x, int screen_y) {
  HWND window = window_;
  HMENU menu = GetSystemMenu(window, FALSE);
  if (!menu) return;
  // The choice comes back here and goes to the window as the system menu's own would, posted:
  // a close must not run while the menu's caller is still on the stack.
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_LEFTBUTTON | TPM_RETURNCMD, screen_x, screen_y, 0, window, nullptr));
  if (command != 0 && IsWindow(window))
    PostMessageW(window, WM_SYSCOMMAND, command, MAKELPARAM(screen_x, screen_y));
}

const Image* Win32SkinFrame::SmallIcon() {
  HICON icon = reinterpret_cast<HICON>(
      SendMessageW(window_, WM_GETICON, static_cast<WPARAM>(ICON_SMALL), 0));
  if (!icon) {
    icon_source_ = nullptr;
    icon_ = Image();
    return nullptr;
  }
  if (icon != icon_source_) {
    icon_source_ = icon;
    icon_ = IconImage(icon);
  }
  return icon_.Empty() ? nullptr : &icon_;
}

void Win32SkinFrame::PaintFrame() {
  HWND window = window_;
  if (!window || !IsWindow(window) || IsIconic(window)) return;
  const WindowBox box = BoxOf(window);
  if (box.width <= 0 || box.height <= 0) return;
  HDC dc = GetWindowDC(window);
  if (!dc) return;
  RECT client{};
  GetClientRect(window, &client);
  OffsetRect(&client, kBorderWidth, kCaptionHeight);
  ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
  RECT clip_box{};
  const Rect clip = GetClipBox(dc, &clip_box) > NULLREGION
                        ? Rect{clip_box.left, clip_box.top, clip_box.right, clip_box.bottom}
                        : Rect{};
  frame_.Paint(surface_, box.width, box.height, SmallIcon(), WindowTitle(window), clip);
  if (HBITMAP section = SurfaceBitmap(surface_)) {
    if (HDC memory = CreateCompatibleDC(dc)) {
      HGDIOBJ previous = SelectObject(memory, section);
      GdiFlush();
      BitBlt(dc, 0, 0, box.width, box.height, memory, 0, 0, SRCCOPY);
      SelectObject(memory, previous);
      DeleteDC(memory);
    }
  }
  SelectClipRgn(dc, nullptr);
  ReleaseDC(window, dc);
}

}  // namespace fernlite
