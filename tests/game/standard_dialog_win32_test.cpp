#include "game/standard_dialog_win32.h"

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/run_settings.h"
#include "game/ax_host_win32.h"
#include "game/script_bridge_win32.h"
#include "fakes/com_doubles_win32.h"
#include "game/ui_handler_win32.h"
#include "platform/handles_win32.h"
#include "platform/message_loop_win32.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

using test::Click;
using test::Pump;
using test::RecordingOuter;
using test::TakeQuit;

using test::SameObject;

constexpr wchar_t kOwnerClass[] = L"FernliteStandardDialogTestOwner";
constexpr COLORREF kOwnerColour = RGB(200, 0, 0);
constexpr COLORREF kKeyColour = RGB(0, 255, 0);

// What reached the window behind the dialog.
std::vector<POINT> g_owner_clicks;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONDOWN) {
    g_owner_clicks.push_back(
        POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

RECT RectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

COLORREF ScreenPixel(POINT point) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

class BackgroundDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_TRUE(RegisterAxHostClasses());
    CreateScriptBridge();
    saved_base_ = Settings().GuestBaseUrl;
    // Nothing listens there: the browser fails fast instead of reaching out.
    Settings().GuestBaseUrl = u"http://127.0.0.1:9/guest/c1/?";
    InitWindowModule();
    loop_ = AddMessageLoop();
    ASSERT_NE(loop_, nullptr);

    WNDCLASSW owner_class{};
    owner_class.lpfnWndProc = OwnerProc;
    owner_class.hInstance = GetModuleHandleW(nullptr);
    owner_class.hbrBackground = CreateSolidBrush(kOwnerColour);
    owner_class.lpszClassName = kOwnerClass;
    RegisterClassW(&owner_class);
    owner_brush_ = owner_class.hbrBackground;
    owner_ = CreateWindowExW(0, kOwnerClass, L"owner", WS_POPUP | WS_VISIBLE, 60, 60, 760, 480,
                             nullptr, nullptr, owner_class.hInstance, nullptr);
    ASSERT_NE(owner_, nullptr);
    g_owner_clicks.clear();
    Pump();
  }

  void TearDown() override {
    dialog_.reset();
    if (owner_) DestroyWindow(owner_);
    TakeQuit();
    RemoveMessageLoop();
    UnregisterClassW(kOwnerClass, GetModuleHandleW(nullptr));
    DeleteObject(owner_brush_);
    Settings().GuestBaseUrl = saved_base_;
    DeleteScriptBridge();
    OleUninitialize();
  }

  void Open(BrowserFactory factory = &CreateWebBrowser) {
    dialog_ = MakeBackgroundDialog(owner_, std::move(factory));
    dialog_->on_closed_itself = [this] { ++closed_itself_; };
    ASSERT_TRUE(dialog_->CreateOwned(nullptr));
    window_ = static_cast<HWND>(dialog_->Handle());
    ASSERT_NE(window_, nullptr);
    host_ = FindWindowExW(window_, nullptr, L"AtlAxWin100", nullptr);
  }

  int RunLoop() {
    // Ends a loop that has gone wrong instead of hanging the test.
    std::atomic<bool> done{false};
    const DWORD thread_id = GetCurrentThreadId();
    std::thread watchdog([&] {
      for (int waited = 0; waited < 500 && !done; ++waited) Sleep(10);
      if (!done) PostThreadMessageW(thread_id, WM_QUIT, 99, 0);
    });
    const int code = loop_->Run();
    done = true;
    watchdog.join();
    return code;
  }

  IOleClientSite* ClientSite() {
    ComPtr<IOleObject> ole;
    auto* browser = static_cast<IWebBrowser2*>(dialog_->Browser());
    IOleClientSite* site = nullptr;
    if (browser && SUCCEEDED(browser->QueryInterface(IID_IOleObject, ole.put_void())))
      ole->GetClientSite(&site);
    return site;
  }

  std::u16string saved_base_;
  CMessageLoop* loop_ = nullptr;
  HBRUSH owner_brush_ = nullptr;
  HWND owner_ = nullptr;
  std::unique_ptr<CSTDBackgroundDlg> dialog_;
  HWND window_ = nullptr;
  HWND host_ = nullptr;
  int closed_itself_ = 0;
};

TEST_F(BackgroundDialogTest, ShowsTheGuestEntryPageInPlaceAtTheFixedRectangle) {
  Open();
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_EQ(GetWindow(window_, GW_OWNER), owner_);
  EXPECT_EQ(dialog_->TemplateId(), 129);

  ASSERT_NE(host_, nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(host_, GWL_STYLE)),
            static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
  EXPECT_EQ(GetDlgCtrlID(host_), 0);
  wchar_t text[8] = L"x";
  EXPECT_EQ(GetWindowTextW(host_, text, 8), 0);
  const RECT expected{0, 25, 660, 382};
  RECT rect = RectInParent(host_);
  EXPECT_TRUE(EqualRect(&rect, &expected))
      << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
  // Whatever size the dialog is given, the browser keeps its rectangle.
  SetWindowPos(window_, nullptr, 0, 0, 300, 180, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(window_, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  rect = RectInParent(host_);
  EXPECT_TRUE(EqualRect(&rect, &expected));

  auto* browser = static_cast<IWebBrowser2*>(dialog_->Browser());
  ASSERT_NE(browser, nullptr);
  ComPtr<IUnknown> control;
  ASSERT_EQ(AxGetControl(host_, control.put()), S_OK);
  EXPECT_TRUE(SameObject(control.get(), browser));
  EXPECT_TRUE(AxIsInPlaceActive(host_));

  BSTR location = nullptr;
  ASSERT_TRUE(SUCCEEDED(browser->get_LocationURL(&location)));
  const std::u16string address = location ? FromWide(location) : std::u16string();
  SysFreeString(location);
  EXPECT_EQ(address, GuestEntryUrl()) << std::string(address.begin(), address.end());
}

TEST_F(BackgroundDialogTest, PagesReachTheBridgeThroughTheInstalledHandler) {
  Open();
  ASSERT_NE(host_, nullptr);
  ComPtr<IOleClientSite> site(ClientSite());
  ASSERT_TRUE(site);
  // The host's own site has no IDocHostUIHandler: answering it marks the handler.
  ComPtr<IDocHostUIHandler> ui;
  ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, ui.put_void()), S_OK);
  ComPtr<IDispatch> external;
  ASSERT_EQ(ui->GetExternal(external.put()), S_OK);
  // The page's face of the bridge (which pages it serves is the handler's own test).
  ASSERT_TRUE(external);
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(L"SetGuestInfo");
  EXPECT_EQ(external->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, kDispSetGuestInfo);

  // The handler stands in front of the host's own site.
  auto* handler = static_cast<CUIHanderlFace*>(site.get());
  ComPtr<IUnknown> host_site;
  ASSERT_EQ(AxGetHost(host_, host_site.put()), S_OK);
  EXPECT_TRUE(SameObject(handler->default_site(), host_site.get()));
}

TEST_F(BackgroundDialogTest, ColourKeyIsSeeThroughAndLetsClicksReachTheWindowBehind) {
  Open();
  ASSERT_NE(host_, nullptr);
  const LONG_PTR extended = GetWindowLongPtrW(window_, GWL_EXSTYLE);
  EXPECT_TRUE(extended & WS_EX_LAYERED);
  COLORREF key = 0;
  BYTE alpha = 255;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window_, &key, &alpha, &flags));
  EXPECT_EQ(key, kKeyColour);
  EXPECT_EQ(alpha, 0);
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));

  // The dialog over its owner, as the launcher keeps it.
  SetWindowPos(window_, nullptr, 60, 60, 760, 480, SWP_NOZORDER | SWP_NOACTIVATE);
  RedrawWindow(window_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(300);

  POINT outside{700, 12};  // dialog client coordinates, beside and above the browser
  POINT inside{330, 200};
  ClientToScreen(window_, &outside);
  ClientToScreen(window_, &inside);
  EXPECT_EQ(ScreenPixel(outside), kOwnerColour);
  const COLORREF browser_pixel = ScreenPixel(inside);
  EXPECT_NE(browser_pixel, kOwnerColour);
  EXPECT_NE(browser_pixel, kKeyColour);

  Click(outside);
  Pump(300);
  ASSERT_EQ(g_owner_clicks.size(), 1u);
  POINT expected = outside;
  ScreenToClient(owner_, &expected);
  EXPECT_EQ(g_owner_clicks[0].x, expected.x);
  EXPECT_EQ(g_owner_clicks[0].y, expected.y);
  // The browser itself is solid: a click there stays with it.
  Click(inside);
  Pump(300);
  EXPECT_EQ(g_owner_clicks.size(), 1u);
}

TEST_F(BackgroundDialogTest, KeyboardFilterOffersOnlyKeysToTheBrowser) {
  RecordingOuter outer;
  Open([&outer](IWebBrowser2** browser) { return outer.Create(browser); });
  ASSERT_NE(dialog_->Browser(), nullptr);

  MSG message{};
  message.hwnd = host_;
  for (UINT number : {0x00FFu, 0x010Au, UINT{WM_MOUSEMOVE}, UINT{WM_LBUTTONDOWN}, UINT{WM_PAINT}}) {
    message.message = number;
    EXPECT_FALSE(loop_->PreTranslateMessage(&message)) << number;
  }
  EXPECT_TRUE(outer.offered.empty());
  message.message = WM_KEYDOWN;
  EXPECT_TRUE(loop_->PreTranslateMessage(&message));  // taken: not dispatched
  message.message = WM_CHAR;
  outer.answer = S_FALSE;
  EXPECT_FALSE(loop_->PreTranslateMessage(&message));
  EXPECT_EQ(outer.offered, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR}));

  // Once closed the dialog has left the loop.
  PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunLoop(), 18);
  dialog_.reset();
  message.message = WM_KEYDOWN;
  EXPECT_FALSE(loop_->PreTranslateMessage(&message));
  EXPECT_EQ(outer.offered.size(), 2u);
  EXPECT_EQ(outer.Release(), 0u);
}

TEST_F(BackgroundDialogTest, ClosingEndsTheLoopWith18AndLetsTheBrowserAndHandlerGo) {
  RecordingOuter outer;
  Open([&outer](IWebBrowser2** browser) { return outer.Create(browser); });
  IOleClientSite* handler = ClientSite();  // one reference of the test's own
  ASSERT_NE(handler, nullptr);
  EXPECT_GT(outer.references, 1u);

  PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunLoop(), 18);
  EXPECT_EQ(closed_itself_, 1);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_FALSE(IsWindow(host_));
  EXPECT_EQ(dialog_->Handle(), nullptr);
  EXPECT_EQ(dialog_->Browser(), nullptr);

  EXPECT_EQ(handler->Release(), 0u);  // neither the dialog nor the browser holds it
  EXPECT_EQ(outer.references, 1u);    // nobody but the test holds the browser
  EXPECT_EQ(outer.Release(), 0u);
}

TEST_F(BackgroundDialogTest, DestroyedByItsOwnerItSaysNothingButStillEndsTheLoop) {
  RecordingOuter outer;
  Open([&outer](IWebBrowser2** browser) { return outer.Create(browser); });
  dialog_.reset();
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(closed_itself_, 0);
  EXPECT_EQ(TakeQuit(), 18);
  EXPECT_EQ(outer.Release(), 0u);
}

TEST_F(BackgroundDialogTest, WithoutABrowserThePlayerIsToldAndTheDialogClosesItself) {
  struct Seen {
    std::wstring text;
    std::vector<int> buttons;
    HWND owner = reinterpret_cast<HWND>(1);
    bool found = false;
  } seen;
  std::thread answer([&seen] {
    for (int tries = 0; tries < 500 && !seen.found; ++tries) {
      HWND box = FindWindowW(L"#32770", L"抱歉");
      if (!box) {
        Sleep(10);
        continue;
      }
      seen.found = true;
      wchar_t text[64] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 64);
      seen.text = text;
      seen.owner = GetWindow(box, GW_OWNER);
      for (int id = IDOK; id <= IDCONTINUE; ++id) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button)) seen.buttons.push_back(id);
      }
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    }
  });
  int factory_calls = 0;
  Open([&factory_calls](IWebBrowser2** browser) {
    ++factory_calls;
    *browser = nullptr;
    return REGDB_E_CLASSNOTREG;
  });
  answer.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.text, L"创建游戏失败");
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(factory_calls, 1);
  EXPECT_EQ(host_, nullptr);  // initialisation stopped before the host
  EXPECT_EQ(dialog_->Browser(), nullptr);

  EXPECT_EQ(RunLoop(), 18);  // the posted close
  EXPECT_EQ(closed_itself_, 1);
  EXPECT_FALSE(IsWindow(window_));
}

}  // namespace
}  // namespace fernlite
