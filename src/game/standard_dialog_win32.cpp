#include "game/standard_dialog_win32.h"

#include <oleauto.h>

#include <string>
#include <utility>

#include "game/ax_host_win32.h"
#include "game/game_window.h"
#include "game/ui_handler_win32.h"
#include "platform/handles_win32.h"
#include "platform/message_loop_win32.h"
#include "platform/wide_win32.h"
#include "skin/translucent_win32.h"

namespace fernlite {
namespace {

constexpr DWORD kBrowserHostStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr int kBackgroundQuitCode = 18;

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

// The window of a CStandardDialog. It is also the dialog's message filter: the browser gets
// the thread's keyboard messages first, so Tab, the arrows and copy and paste work in the page.
// The background dialog's window also closes by destroying itself and ends the loop when it
// goes.
class Win32StandardDialogWindow final : public StandardDialogWindow, public CMessageFilter {
 public:
  Win32StandardDialogWindow(BrowserFactory factory, bool background)
      : factory_(std::move(factory)), background_(background) {}
  ~Win32StandardDialogWindow() override {
    if (!window_) return;
    // Destroyed by its owner: no "closed by itself" notice.
    destroyed_by_owner_ = true;
    DestroyWindow(window_);
  }
  Win32StandardDialogWindow(const Win32StandardDialogWindow&) = delete;
  Win32StandardDialogWindow& operator=(const Win32StandardDialogWindow&) = delete;

  bool Create(CStandardDialog& dialog, NativeWindow owner) override {
    if (window_) return true;
    dialog_ = &dialog;
    HWND window =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog.TemplateId()),
                           static_cast<HWND>(owner), &DialogProc, reinterpret_cast<LPARAM>(this));
    if (!window) return false;
    ShowWindow(window, SW_SHOW);
    return true;
  }

  NativeWindow Handle() const override { return window_; }
  void* Browser() const override { return browser_.get(); }

  BOOL PreTranslateMessage(MSG* message) override {
    return browser_ && AxTranslateAccelerator(browser_.get(), message) ? TRUE : FALSE;
  }

 private:
  // One message; true when handled, with the dialog procedure's answer in `result`.
  bool OnMessage(UINT message, INT_PTR& result) {
    switch (message) {
      case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
      case WM_CTLCOLORDLG: result = reinterpret_cast<INT_PTR>(brush_); return brush_ != nullptr;
      case WM_SIZE: result = TRUE; return true;  // the browser keeps its fixed rectangle
      case WM_NCHITTEST:
        // Only the browser (a child, which answers for itself) takes input; the rest is the
        // colour key, whose clicks belong to the launcher underneath. Answered here too, as
        // not every system hit-tests by the key (Wine does not).
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, HTTRANSPARENT);
        result = TRUE;
        return true;
      default: break;
    }
    if (!background_) return false;
    switch (message) {
      case WM_CLOSE:
        RemoveFilter();
        DestroyWindow(window_);
        result = TRUE;
        return true;
      case WM_DESTROY:
        PostQuitMessage(kBackgroundQuitCode);
        result = TRUE;
        return true;
      default: return false;
    }
  }

  void RemoveFilter() {
    // Only from the loop it was given to, and only while that loop is still registered: an
    // unregistered loop may be gone.
    CMessageLoop* loop = GetMessageLoop();
    if (loop && loop == filter_loop_) loop->RemoveMessageFilter(this);
    filter_loop_ = nullptr;
  }

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM, LPARAM lparam) {
    auto* self = reinterpret_cast<Win32StandardDialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
      self = reinterpret_cast<Win32StandardDialogWindow*>(lparam);
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      if (self) self->window_ = window;
    }
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, DWLP_USER, 0);
      self->OnFinalMessage();  // may end in the destruction of self
      return FALSE;
    }
    INT_PTR result = 0;
    return self->OnMessage(message, result) ? result : FALSE;
  }

  void OnInitDialog() {
    if (CMessageLoop* loop = GetMessageLoop()) {
      if (loop->AddMessageFilter(this)) filter_loop_ = loop;
    }
    const COLORREF key = dialog_->ColourKey();
    brush_ = CreateSolidBrush(key);
    SetWindowLongPtrW(window_, GWL_EXSTYLE,
                      GetWindowLongPtrW(window_, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributesByName(window_, key, 0, LWA_COLORKEY);

    ComPtr<IWebBrowser2> browser;
    if (!factory_ || FAILED(factory_(browser.put())) || !browser) {
      MessageBoxW(nullptr, Wide(kGameCreateFailedText), Wide(kGameCreateFailedCaption), MB_OK);
      PostMessageW(window_, WM_CLOSE, 0, 0);
      return;
    }
    browser_ = std::move(browser);

    const Rect& area = kGuestBrowserRect;
    host_ = CreateWindowExW(0, kAxHostClass, nullptr, kBrowserHostStyle, area.left, area.top,
                            area.Width(), area.Height(), window_, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    if (host_) AxAttachControl(browser_.get(), host_);

    handler_ = new CUIHanderlFace();
    handler_->AddRef();
    // The handler takes the host's site as its default; the host then puts the browser in
    // place again, since a browser may drop its in-place site with its old client site.
    if (InstallUIHandler(browser_.get(), handler_) && host_) AxActivateInPlace(host_);

    const std::u16string url = GuestEntryUrl();
    BSTR address = SysAllocStringLen(W(url), static_cast<UINT>(url.size()));
    VARIANT none;
    VariantInit(&none);
    if (address) browser_->Navigate(address, &none, &none, &none, &none);
    SysFreeString(address);
  }

  void OnFinalMessage() {
    RemoveFilter();
    // The host (a child) is gone by now and has let go of the browser.
    host_ = nullptr;
    if (handler_) handler_->Release();
    handler_ = nullptr;
    browser_.reset();
    if (brush_) DeleteObject(brush_);
    brush_ = nullptr;
    window_ = nullptr;
    if (!destroyed_by_owner_ && dialog_) dialog_->WindowDestroyedItself();
  }

  BrowserFactory factory_;
  bool background_;
  CStandardDialog* dialog_ = nullptr;
  HWND window_ = nullptr;
  HWND host_ = nullptr;
  HBRUSH brush_ = nullptr;
  ComPtr<IWebBrowser2> browser_;
  CUIHanderlFace* handler_ = nullptr;
  CMessageLoop* filter_loop_ = nullptr;
  bool destroyed_by_owner_ = false;
};

}  // namespace

HRESULT CreateWebBrowser(IWebBrowser2** browser) {
  if (!browser) return E_POINTER;
  *browser = nullptr;
  return CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                          reinterpret_cast<void**>(browser));
}

std::unique_ptr<CSTDBackgroundDlg> MakeBackgroundDialog(NativeWindow owner) {
  return MakeBackgroundDialog(owner, &CreateWebBrowser);
}

std::unique_ptr<CSTDBackgroundDlg> MakeBackgroundDialog(NativeWindow owner,
                                                        BrowserFactory factory) {
  auto dialog = std::make_unique<CSTDBackgroundDlg>(owner);
  dialog->AdoptWindow(std::make_unique<Win32StandardDialogWindow>(std::move(factory), true));
  return dialog;
}

}  // namespace fernlite
