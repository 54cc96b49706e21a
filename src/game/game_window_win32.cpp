#include "game/game_window_win32.h"

#include <oleauto.h>

#include <algorithm>
#include <utility>

#include "game/ax_host_win32.h"
#include "game/browser_events_win32.h"
#include "game/guest_link.h"
#include "game/ui_handler_win32.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

constexpr WORD kGameDialogTemplate = 131;
constexpr DWORD kBrowserHostStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr int kGameWindowQuitCode = 1;

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

void ShowCreateFailure() {
  MessageBoxW(nullptr, Wide(kGameCreateFailedText), Wide(kGameCreateFailedCaption), MB_OK);
}

RECT WorkArea() {
  RECT area{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return area;
}

// Over a visible owner, else in the middle of the work area; kept inside the work area.
void CenterWindow(HWND window) {
  const RECT area = WorkArea();
  RECT over = area;
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int left = over.left + (over.right - over.left - width) / 2;
  int top = over.top + (over.bottom - over.top - height) / 2;
  left = std::max<int>(area.left, std::min<int>(left, area.right - width));
  top = std::max<int>(area.top, std::min<int>(top, area.bottom - height));
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetWindowIcon(HWND window) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Shared icons belong to the system: nothing to destroy later.
  auto load = [instance](int width_metric, int height_metric) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kGameIconImage), IMAGE_ICON,
                                         GetSystemMetrics(width_metric),
                                         GetSystemMetrics(height_metric), LR_SHARED));
  };
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}

}  // namespace

CWebGameDlg::CWebGameDlg(GameWindowRequest request)
    : create_browser(&CreateWebBrowser),
      show_create_failure(&ShowCreateFailure),
      open_new_window([](std::u16string_view target) { HandleNewWindowRequest(target); }),
      request_(std::move(request)) {}

CWebGameDlg::~CWebGameDlg() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  if (sink_) {
    sink_->Disconnect();
    sink_->Release();
    sink_ = nullptr;
  }
  if (handler_) handler_->Release();
  handler_ = nullptr;
}

IDispatch* CWebGameDlg::EventSink() const {
  return sink_;
}

HWND CWebGameDlg::Create() {
  if (window_) return nullptr;
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kGameDialogTemplate),
                            nullptr, &DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CWebGameDlg::PreTranslateMessage(MSG* message) {
  return browser_ && AxTranslateAccelerator(browser_.get(), message) ? TRUE : FALSE;
}

INT_PTR CALLBACK CWebGameDlg::DialogProc(HWND window, UINT message, WPARAM, LPARAM lparam) {
  auto* self = reinterpret_cast<CWebGameDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CWebGameDlg*>(lparam);
    if (!self) return FALSE;
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    self->window_ = window;
    return self->OnInitDialog();
  }
  if (!self) return FALSE;
  switch (message) {
    case WM_SIZE: self->Layout(); return TRUE;
    case WM_CLOSE: DestroyWindow(window); return TRUE;
    case WM_DESTROY: self->OnDestroy(); return TRUE;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, DWLP_USER, 0);
      // The host, a child, is gone and has let go of the browser.
      self->host_ = nullptr;
      self->window_ = nullptr;
      return FALSE;
    default: return FALSE;
  }
}

BOOL CWebGameDlg::OnInitDialog() {
  CMessageLoop* loop = GetMessageLoop();
  if (!loop) return FALSE;
  if (loop->AddMessageFilter(this)) filter_loop_ = loop;

  skin_.Attach(window_);

  RECT outer{};
  GetWindowRect(window_, &outer);
  AddGameCaptionItems(frame_, outer.right - outer.left, request_.player_name);

  SetWindowTextW(window_, W(request_.title));
  SetWindowIcon(window_);

  ComPtr<IWebBrowser2> browser;
  if (!create_browser || FAILED(create_browser(browser.put())) || !browser) {
    if (show_create_failure) show_create_failure();
    // Posted: the window goes through WM_CLOSE and WM_DESTROY once its loop runs, so the loop
    // still ends with its quit message.
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return TRUE;
  }
  browser_ = std::move(browser);

  RECT client{};
  GetClientRect(window_, &client);
  host_ = CreateWindowExW(0, kAxHostClass, nullptr, kBrowserHostStyle, 0, 0, client.right,
                          client.bottom, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (host_) AxAttachControl(browser_.get(), host_);

  handler_ = new CUIHanderlFace();
  handler_->AddRef();
  // A browser may drop its in-place site together with the host's client site, so the host
  // puts it in place again once the handler stands in front of that site.
  if (InstallUIHandler(browser_.get(), handler_) && host_) AxActivateInPlace(host_);

  sink_ = new BrowserEventSink([this](std::u16string_view target) {
    if (open_new_window) open_new_window(target);
  });
  sink_->Connect(browser_.get());

  BSTR address = SysAllocStringLen(W(request_.url), static_cast<UINT>(request_.url.size()));
  VARIANT none;
  VariantInit(&none);
  if (address) browser_->Navigate(address, &none, &none, &none, &none);
  SysFreeString(address);

  ShowAtRequestedSize();
  return TRUE;
}

void CWebGameDlg::ShowAtRequestedSize() {
  const RECT area = WorkArea();
  const WindowSize size =
      InitialWindowSize(request_, WindowSize{area.right - area.left, area.bottom - area.top});
  SetWindowPos(window_, nullptr, 0, 0, size.width, size.height, SWP_SHOWWINDOW);
  CenterWindow(window_);
  if (request_.start_maximized) SendMessageW(window_, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
}

void CWebGameDlg::Layout() {
  if (!host_) return;
  RECT client{};
  GetClientRect(window_, &client);
  MoveWindow(host_, 0, 0, client.right, client.bottom, TRUE);
}

void CWebGameDlg::RemoveFilter() {
  // Only from the loop it was given to, and only while that loop is still registered.
  CMessageLoop* loop = GetMessageLoop();
  if (loop && loop == filter_loop_) loop->RemoveMessageFilter(this);
  filter_loop_ = nullptr;
}

void CWebGameDlg::OnDestroy() {
  RemoveFilter();
  if (sink_) sink_->Disconnect();
  skin_.Detach();
  PostQuitMessage(kGameWindowQuitCode);
}

}  // namespace fernlite
