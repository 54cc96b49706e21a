// The game window on Win32: a dialog from template 131 dressed by the skinned frame, its client
// area taken by one web browser control in the program's control host.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <functional>
#include <string_view>

#include "game/game_window.h"
#include "game/standard_dialog_win32.h"
#include "platform/handles_win32.h"
#include "platform/message_loop_win32.h"
#include "skin/skin_frame.h"
#include "skin/skin_frame_win32.h"

namespace fernlite {

class CUIHanderlFace;
class BrowserEventSink;

class CWebGameDlg : public CMessageFilter {
 public:
  explicit CWebGameDlg(GameWindowRequest request);
  ~CWebGameDlg() override;
  CWebGameDlg(const CWebGameDlg&) = delete;
  CWebGameDlg& operator=(const CWebGameDlg&) = delete;

  // Modeless, no owner, from template 131; runs the whole initialisation. The handle or null.
  // When the browser cannot be made the player is told so and the window closes again (the
  // handle is still returned: the window did exist).
  HWND Create();

  BOOL PreTranslateMessage(MSG* message) override;

  HWND Window() const { return window_; }
  HWND BrowserHost() const { return host_; }
  IWebBrowser2* Browser() const { return browser_.get(); }
  SkinFrame& Frame() { return frame_; }
  Win32SkinFrame& FrameHost() { return skin_; }
  const GameWindowRequest& Request() const { return request_; }
  // The new-window sink connected to the browser (null before, or without a browser).
  IDispatch* EventSink() const;

  // Where the window gets its browser, tells of a failure and sends new-window addresses;
  // replaceable before Create.
  BrowserFactory create_browser;
  std::function<void()> show_create_failure;
  std::function<void(std::u16string_view)> open_new_window;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  BOOL OnInitDialog();
  void ShowAtRequestedSize();
  void Layout();
  void OnDestroy();
  void RemoveFilter();

  GameWindowRequest request_;
  SkinFrame frame_;
  Win32SkinFrame skin_{frame_};
  HWND window_ = nullptr;
  HWND host_ = nullptr;
  ComPtr<IWebBrowser2> browser_;
  CUIHanderlFace* handler_ = nullptr;  // one reference held
  BrowserEventSink* sink_ = nullptr;   // one reference held
  CMessageLoop* filter_loop_ = nullptr;
};

}  // namespace fernlite
