// The skinned frame on a Win32 window: the window's procedure is subclassed so the frame takes
// over the non-client area (sizing, hit-testing, painting, caption clicks) while the window
// keeps its own behaviour for everything else. The window is clipped to a rounded rectangle.
#pragma once

#include <windows.h>

#include <functional>

#include "skin/canvas.h"
#include "skin/skin_frame.h"

namespace fernlite {

inline constexpr wchar_t kSkinFrameProperty[] = L"PROP_SkinWndKTR";

class Win32SkinFrame {
 public:
  explicit Win32SkinFrame(SkinFrame& frame) : frame_(frame) {}
  ~Win32SkinFrame();
  Win32SkinFrame(const Win32SkinFrame&) = delete;
  Win32SkinFrame& operator=(const Win32SkinFrame&) = delete;

  // Takes the window over: the property, the subclass, the style flags, the system buttons,
  // the top of the z-order. False (and nothing changed) when the property cannot be set or
  // the window has a frame already.
  bool Attach(HWND window);
  // Puts the previous procedure back and removes the property.
  void Detach();

  // Draws the whole non-client area off-screen and copies it to the window in one block.
  void PaintFrame();

  HWND Window() const { return window_; }
  SkinFrame& Frame() { return frame_; }
  // The off-screen image of the last paint.
  const Image& Surface() const { return surface_; }

  // Caption actions; the binding question (Yes sends SC_CLOSE) and the pay link when not set.
  std::function<void()> on_bind;
  std::function<void()> on_pay;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Previous(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnButtonUp(UINT message, WPARAM wparam, LPARAM lparam);
  void ShowSystemMenu(int screen_x, int screen_y);
  bool StillAttached(HWND window) const;
  const Image* SmallIcon();

  SkinFrame& frame_;
  HWND window_ = nullptr;
  WNDPROC previous_ = nullptr;
  bool tracking_ = false;
  // Kept between paints; made again only when the window's size changes.
  Image surface_;
  Image icon_;
  HICON icon_source_ = nullptr;
};

}  // namespace fernlite
