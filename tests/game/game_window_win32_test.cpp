#include "game/game_window_win32.h"

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/run_settings.h"
#include "fakes/com_doubles_win32.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/fake_platform.h"
#include "fakes/raw_http.h"
#include "fakes/test_env.h"
#include "game/ax_host_win32.h"
#include "game/guest_link.h"
#include "platform/text.h"
#include "platform/wide_win32.h"
#include "skin/skin_frame.h"

namespace fernlite {
namespace {

using test::Click;
using test::Pump;
using test::RecordingOuter;
using test::TakeQuit;

using test::SameObject;

// OLE and the drawing library once for the whole program: the image cache keeps its bitmaps
// for the life of the process.
class WindowServices : public ::testing::Environment {
 public:
  void SetUp() override {
    ole_ = SUCCEEDED(OleInitialize(nullptr));
    services_ = std::make_unique<test::ScopedServices>();
  }
  void TearDown() override {
    services_.reset();
    if (ole_) OleUninitialize();
  }

 private:
  bool ole_ = false;
  std::unique_ptr<test::ScopedServices> services_;
};
const auto* const g_services = ::testing::AddGlobalTestEnvironment(new WindowServices);

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

RECT WorkArea() {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

std::string Utf8(std::u16string_view text) {
  return ToUtf8(text);
}

// One NewWindow3 call as the browser makes it: arguments last first, the Cancel flag and the
// new-window pointer by reference.
class NewWindow3Call {
 public:
  explicit NewWindow3Call(std::u16string_view target, std::u16string_view context = u"")
      : target_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(target.data()),
                                  static_cast<UINT>(target.size()))),
        context_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(context.data()),
                                   static_cast<UINT>(context.size()))) {
    for (VARIANTARG& argument : arguments) VariantInit(&argument);
    arguments[4].vt = VT_BYREF | VT_DISPATCH;
    arguments[4].ppdispVal = &new_window;
    arguments[3].vt = VT_BYREF | VT_BOOL;
    arguments[3].pboolVal = &cancel;
    arguments[2].vt = VT_I4;
    arguments[2].lVal = 0x6;  // user initiated, first of its kind
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = context_;
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = target_;
    parameters.rgvarg = arguments;
    parameters.cArgs = 5;
  }
  ~NewWindow3Call() {
    SysFreeString(target_);
    SysFreeString(context_);
  }
  NewWindow3Call(const NewWindow3Call&) = delete;
  NewWindow3Call& operator=(const NewWindow3Call&) = delete;

  HRESULT Send(IDispatch* sink, DISPID id = 273) {
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                        nullptr, nullptr);
  }

  IDispatch* new_window = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANTARG arguments[5];
  DISPPARAMS parameters{};

 private:
  BSTR target_;
  BSTR context_;
};

// The sinks the browser itself would call for DWebBrowserEvents2; `enumerated` false when
// the browser cannot list them. Wine's enumerator hands its pointers out without a reference
// (others add one), so they are not owned here: they stay valid while connected.
std::vector<IUnknown*> ConnectedSinks(IWebBrowser2* browser, bool* enumerated) {
  *enumerated = false;
  std::vector<IUnknown*> sinks;
  ComPtr<IConnectionPointContainer> container;
  if (!browser ||
      FAILED(browser->QueryInterface(IID_IConnectionPointContainer, container.put_void()))) {
    return sinks;
  }
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())) || !point) {
    return sinks;
  }
  ComPtr<IEnumConnections> connections;
  if (FAILED(point->EnumConnections(connections.put())) || !connections) return sinks;
  *enumerated = true;
  CONNECTDATA data{};
  ULONG fetched = 0;
  while (connections->Next(1, &data, &fetched) == S_OK && fetched == 1) {
    if (data.pUnk) sinks.push_back(data.pUnk);
  }
  return sinks;
}

GameWindowRequest Request(std::u16string player, int width = 800, int height = 500,
                          int maximized = 0) {
  GameWindowRequest request;
  request.player_name = std::move(player);
  request.title = u"青木战途 - 一区";
  // Nothing listens there: a browser that loads pages fails fast instead of reaching out.
  request.url = u"http://127.0.0.1:9/game/play?sid=3";
  request.width = width;
  request.height = height;
  request.start_maximized = maximized;
  return request;
}

class GameWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RegisterAxHostClasses());
    InitWindowModule();
    loop_ = AddMessageLoop();
    ASSERT_NE(loop_, nullptr);
    saved_ = Settings();
  }

  void TearDown() override {
    dialog_.reset();
    TakeQuit();
    RemoveMessageLoop();
    Settings() = saved_;
  }

  CWebGameDlg& Make(GameWindowRequest request) {
    dialog_ = std::make_unique<CWebGameDlg>(std::move(request));
    return *dialog_;
  }

  HWND Open(GameWindowRequest request) {
    Make(std::move(request));
    return Create();
  }

  HWND Create() {
    window_ = dialog_->Create();
    Pump(50);
    return window_;
  }

  // Runs the thread's loop as the program does; a loop that does not end by itself within
  // the time is ended with 99.
  int RunLoop(int milliseconds = 5000) {
    std::atomic<bool> done{false};
    const DWORD thread_id = GetCurrentThreadId();
    std::thread watchdog([&] {
      for (int waited = 0; waited < milliseconds / 10 && !done; ++waited) Sleep(10);
      if (!done) PostThreadMessageW(thread_id, WM_QUIT, 99, 0);
    });
    const int code = loop_->Run();
    done = true;
    watchdog.join();
    return code;
  }

  CMessageLoop* loop_ = nullptr;
  RunSettings saved_;
  std::unique_ptr<CWebGameDlg> dialog_;
  HWND window_ = nullptr;
};

// ---- New windows ---------------------------------------------------------------------------

TEST_F(GameWindowTest, NewWindowRequestsThroughTheConnectedSinkBecomeGuestLinks) {
  test::FakeBrowser shell;
  ASSERT_NE(Open(Request(u"gst")), nullptr);
  ASSERT_NE(dialog_->Browser(), nullptr);
  ASSERT_NE(dialog_->EventSink(), nullptr);

  bool enumerated = false;
  std::vector<IUnknown*> sinks = ConnectedSinks(dialog_->Browser(), &enumerated);
  IDispatch* sink = dialog_->EventSink();
  ComPtr<IDispatch> connected;
  if (enumerated) {
    // What the browser itself calls is the window's sink.
    ASSERT_EQ(sinks.size(), 1u);
    ASSERT_TRUE(SameObject(sinks[0], dialog_->EventSink()));
    ASSERT_EQ(sinks[0]->QueryInterface(IID_IDispatch, connected.put_void()), S_OK);
    sink = connected.get();
  } else {
    std::printf("[ note ] the browser cannot list its connections; calling the sink itself\n");
  }

  // Not a NewWindow3, or not shaped like one: nothing opens, Cancel stays as it was.
  {
    NewWindow3Call other(u"http://127.0.0.1/other");
    EXPECT_EQ(other.Send(sink, 251), S_OK);  // NewWindow2
    EXPECT_EQ(other.Send(sink, 250), S_OK);  // BeforeNavigate2
    EXPECT_EQ(other.cancel, VARIANT_FALSE);
  }
  {
    NewWindow3Call short_call(u"http://127.0.0.1/short");
    short_call.parameters.cArgs = 4;
    short_call.parameters.rgvarg = &short_call.arguments[1];
    EXPECT_EQ(short_call.Send(sink), S_OK);
    EXPECT_EQ(short_call.cancel, VARIANT_FALSE);
  }
  for (int position = 0; position < 5; ++position) {
    NewWindow3Call wrong(u"http://127.0.0.1/wrong");
    const VARTYPE stray = position == 2 ? VARTYPE{VT_I2} : VARTYPE{VT_I4};
    wrong.arguments[position].vt = stray;
    EXPECT_EQ(wrong.Send(sink), S_OK) << position;
    EXPECT_EQ(wrong.cancel, VARIANT_FALSE) << position;
  }
  {
    NewWindow3Call no_flag(u"http://127.0.0.1/null");
    no_flag.arguments[3].pboolVal = nullptr;
    EXPECT_EQ(no_flag.Send(sink), S_OK);
    NewWindow3Call no_window(u"http://127.0.0.1/null");
    no_window.arguments[4].ppdispVal = nullptr;
    EXPECT_EQ(no_window.Send(sink), S_OK);
    EXPECT_EQ(no_window.cancel, VARIANT_FALSE);
    NewWindow3Call no_arguments(u"http://127.0.0.1/null");
    no_arguments.parameters.rgvarg = nullptr;
    EXPECT_EQ(no_arguments.Send(sink), S_OK);
    EXPECT_EQ(sink->Invoke(273, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              S_OK);
  }
  EXPECT_TRUE(shell.Opened().empty());

  const std::u16string target = u"http://127.0.0.1/news/?id=7&lang=简体";
  NewWindow3Call call(target, u"http://127.0.0.1:9/game/play?sid=3");
  EXPECT_EQ(call.Send(sink), S_OK);
  EXPECT_EQ(call.cancel, VARIANT_TRUE);
  EXPECT_EQ(call.new_window, nullptr);
  ASSERT_EQ(shell.Opened().size(), 1u);
  const std::u16string& link = shell.Opened()[0];
  EXPECT_EQ(link.rfind(GameHostBase() + u"/guest/link.php?ext=", 0), 0u) << Utf8(link);
  EXPECT_NE(link.find(u"&goto=" + PercentEncodeUtf8(target) + u"&cid="), std::u16string::npos)
      << Utf8(link);
}

TEST_F(GameWindowTest, TheOwnersHandlerGetsTheWholeTargetAndNothingOnceTheWindowIsGone) {
  test::FakeBrowser shell;
  std::vector<std::u16string> targets;
  Make(Request(u"玩家一")).open_new_window = [&targets](std::u16string_view target) {
    targets.emplace_back(target);
  };
  ASSERT_NE(Create(), nullptr);
  ComPtr<IDispatch> sink(dialog_->EventSink());
  ASSERT_TRUE(sink);
  sink->AddRef();

  // The length is the BSTR's own: an embedded NUL does not cut the address short.
  const std::u16string target(u"http://127.0.0.1/a\0b", 20);
  NewWindow3Call call(target);
  EXPECT_EQ(call.Send(sink.get()), S_OK);
  EXPECT_EQ(call.cancel, VARIANT_TRUE);
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0], target);
  EXPECT_TRUE(shell.Opened().empty());

  IWebBrowser2* browser = dialog_->Browser();
  browser->AddRef();
  PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunLoop(), 1);
  EXPECT_FALSE(IsWindow(window_));

  bool enumerated = false;
  EXPECT_TRUE(ConnectedSinks(browser, &enumerated).empty());
  browser->Release();
  NewWindow3Call late(u"http://127.0.0.1/late");
  EXPECT_EQ(late.Send(sink.get()), S_OK);
  EXPECT_EQ(targets.size(), 1u);
  dialog_.reset();
  EXPECT_EQ(late.Send(sink.get()), S_OK);  // the sink outlives the window harmlessly
  EXPECT_EQ(targets.size(), 1u);
}

TEST_F(GameWindowTest, TheLinkOfANewWindowIsAcceptedByThePlatform) {
  test::DevPlatform platform;
  ASSERT_TRUE(platform.ok());
  test::ScopedEnv override_base("FERNLITE_PLATFORM", ToUtf8(platform.base_url()));
  Settings().UserInfo = u"uid=G-77&nick=游客";
  Settings().Ext = u"gid=qmzt";
  Settings().ChannelID = u"281";
  Settings().SubChannelID = u"407";
  test::FakeBrowser shell;
  ASSERT_NE(Open(Request(u"gst")), nullptr);
  ASSERT_NE(dialog_->EventSink(), nullptr);

  const std::u16string target = u"http://127.0.0.1/forum/?t=12&from=game";
  NewWindow3Call call(target);
  ASSERT_EQ(call.Send(dialog_->EventSink()), S_OK);
  ASSERT_EQ(shell.Opened().size(), 1u);

  const std::string prefix = ToUtf8(platform.base_url());
  const std::string link = ToUtf8(shell.Opened()[0]);
  ASSERT_EQ(link.rfind(prefix + "/guest/link.php?", 0), 0u) << link;
  const std::string request = "GET " + link.substr(prefix.size()) +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: application/json\r\n"
                              "Connection: close\r\n\r\n";
  const auto response = test::ParseRawResponse(test::SendRawHttp(platform.port(), request).bytes);
  ASSERT_EQ(response.status, 200) << response.body;
  const auto json = test::ParseJson(response.body);
  ASSERT_TRUE(json.has_value()) << response.body;
  EXPECT_EQ(json->Text("goto"), ToUtf8(target));
  EXPECT_EQ(json->Text("userinfo"), "uid=G-77&nick=游客");
  const auto entries = test::LogEntriesForPath(platform.LogLines(), "/guest/link.php");
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_NE(entries[0].Find("sign_ok"), nullptr);
  EXPECT_TRUE(entries[0].Find("sign_ok")->boolean);
}

// ---- Caption -------------------------------------------------------------------------------

TEST_F(GameWindowTest, TheCaptionGreetsAGuestAndOffersBindingOtherwisePay) {
  struct Case {
    std::u16string player;
    bool guest;
    std::u16string greeting;
  };
  for (const Case& c : {Case{u"gst", true, u"游客,您好!"}, Case{u"GST", false, u"GST"},
                        Case{u"青木", false, u"青木"}}) {
    SCOPED_TRACE(Utf8(c.player));
    ASSERT_NE(Open(Request(c.player)), nullptr);
    SkinFrame& frame = dialog_->Frame();
    EXPECT_EQ(frame.Button(kCaptionBindButton) != nullptr, c.guest);
    EXPECT_EQ(frame.Button(kCaptionPayButton) != nullptr, !c.guest);
    const CDUIButton* greeting = frame.Button(kCaptionGreeting);
    ASSERT_NE(greeting, nullptr);
    EXPECT_EQ(greeting->text, c.greeting);

    wchar_t title[64] = {};
    GetWindowTextW(window_, title, 64);
    EXPECT_EQ(FromWide(title), u"青木战途 - 一区");
    EXPECT_NE(SendMessageW(window_, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0), 0);
    dialog_.reset();
    EXPECT_EQ(TakeQuit(), 1);
  }
}

TEST_F(GameWindowTest, TheBindingButtonAsksAndYesClosesTheWindowAndEndsTheLoop) {
  test::FakeBrowser shell(false);
  ASSERT_NE(Open(Request(u"gst")), nullptr);
  SetForegroundWindow(window_);
  Pump(100);
  const CDUIButton* bind = dialog_->Frame().Button(kCaptionBindButton);
  ASSERT_NE(bind, nullptr);
  const RECT outer = WindowRect(window_);
  const POINT centre{outer.left + (bind->rect.left + bind->rect.right) / 2,
                     outer.top + (bind->rect.top + bind->rect.bottom) / 2};

  Click(centre);
  Pump(300);
  EXPECT_EQ(shell.Questions(), 1);
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(shell.Opened().empty());

  shell.Answer(true);
  Click(centre);
  EXPECT_EQ(RunLoop(), 1);
  EXPECT_EQ(shell.Questions(), 2);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(dialog_->Window(), nullptr);
}

// ---- Size and page -------------------------------------------------------------------------

TEST_F(GameWindowTest, OpensAtTheRequestedOuterSizeInTheMiddleAndKeepsTheBrowserFilling) {
  ASSERT_NE(Open(Request(u"gst", 800, 500)), nullptr);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_FALSE(IsZoomed(window_));
  const RECT outer = WindowRect(window_);
  EXPECT_EQ(outer.right - outer.left, 800);
  EXPECT_EQ(outer.bottom - outer.top, 500);
  const RECT area = WorkArea();
  EXPECT_NEAR(outer.left - area.left, area.right - outer.right, 1);
  EXPECT_NEAR(outer.top - area.top, area.bottom - outer.bottom, 1);

  HWND host = dialog_->BrowserHost();
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(GetParent(host), window_);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(host, GWL_STYLE)), 0x56000000u);
  EXPECT_EQ(GetDlgCtrlID(host), 0);
  EXPECT_TRUE(AxIsInPlaceActive(host));
  ComPtr<IUnknown> control;
  ASSERT_EQ(AxGetControl(host, control.put()), S_OK);
  EXPECT_TRUE(SameObject(control.get(), dialog_->Browser()));

  for (const SIZE size : {SIZE{640, 420}, SIZE{1011, 677}}) {
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(window_, &client);
    RECT hosted = WindowRect(host);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&hosted), 2);
    EXPECT_TRUE(EqualRect(&hosted, &client))
        << hosted.left << "," << hosted.top << "," << hosted.right << "," << hosted.bottom << " in "
        << client.right << "x" << client.bottom;
    EXPECT_GT(client.right, 0);
  }

  BSTR location = nullptr;
  ASSERT_TRUE(SUCCEEDED(dialog_->Browser()->get_LocationURL(&location)));
  const std::u16string address = location ? FromWide(location) : std::u16string();
  SysFreeString(location);
  EXPECT_EQ(address, dialog_->Request().url) << Utf8(address);
}

TEST_F(GameWindowTest, AMaximisedStartRestoresTo980By600) {
  // Read before any message is pumped: under Xvfb no window manager carries out the maximise
  // Wine asks the X server for, and the X driver then takes the window back to its size.
  Make(Request(u"gst", 700, 450, 1));
  window_ = dialog_->Create();
  ASSERT_NE(window_, nullptr);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(IsZoomed(window_));
  RECT client{};
  GetClientRect(window_, &client);
  RECT hosted = WindowRect(dialog_->BrowserHost());
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&hosted), 2);
  EXPECT_TRUE(EqualRect(&hosted, &client));
  const RECT area = WorkArea();
  EXPECT_GE(client.right, area.right - area.left - 2 * kBorderWidth);
  SendMessageW(window_, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsZoomed(window_));
  const RECT outer = WindowRect(window_);
  EXPECT_EQ(outer.right - outer.left, 980);
  EXPECT_EQ(outer.bottom - outer.top, 600);
}

// ---- Life --------------------------------------------------------------------------------

TEST_F(GameWindowTest, WithoutABrowserThePlayerIsToldOnceAndTheWindowGoesAndTheLoopEnds) {
  int told = 0;
  CWebGameDlg& dialog = Make(Request(u"gst"));
  dialog.create_browser = [](IWebBrowser2** browser) {
    *browser = nullptr;
    return E_FAIL;
  };
  dialog.show_create_failure = [&told] { ++told; };
  // No pumping before the loop runs: the window's quit message must reach the loop.
  window_ = dialog.Create();
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(dialog.BrowserHost(), nullptr);
  EXPECT_EQ(dialog.EventSink(), nullptr);
  EXPECT_EQ(RunLoop(), 1);
  EXPECT_EQ(told, 1);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(dialog.Window(), nullptr);
}

TEST_F(GameWindowTest, WithoutALoopTheWindowGetsNoBrowser) {
  ASSERT_TRUE(RemoveMessageLoop());
  loop_ = nullptr;
  int made = 0;
  CWebGameDlg& dialog = Make(Request(u"gst"));
  dialog.create_browser = [&made](IWebBrowser2** browser) {
    ++made;
    return CreateWebBrowser(browser);
  };
  ASSERT_NE(Create(), nullptr);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(dialog.Browser(), nullptr);
  EXPECT_EQ(dialog.BrowserHost(), nullptr);
  EXPECT_EQ(dialog.Frame().Button(kCaptionBindButton), nullptr);
  dialog_.reset();
  EXPECT_FALSE(IsWindow(window_));
  loop_ = AddMessageLoop();  // for TearDown
}

TEST_F(GameWindowTest, KeysGoToTheBrowserWhileTheWindowLivesAndEverythingIsLetGoAfter) {
  RecordingOuter outer;
  Make(Request(u"青木")).create_browser = [&outer](IWebBrowser2** browser) {
    return outer.Create(browser);
  };
  ASSERT_NE(Create(), nullptr);
  ASSERT_NE(dialog_->Browser(), nullptr);

  MSG message{};
  message.hwnd = dialog_->BrowserHost();
  message.message = WM_MOUSEMOVE;
  EXPECT_FALSE(loop_->PreTranslateMessage(&message));
  message.message = WM_KEYDOWN;
  message.wParam = VK_TAB;
  EXPECT_TRUE(loop_->PreTranslateMessage(&message));
  EXPECT_EQ(outer.offered, (std::vector<UINT>{WM_KEYDOWN}));

  PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunLoop(), 1);
  EXPECT_FALSE(loop_->PreTranslateMessage(&message));
  EXPECT_EQ(outer.offered.size(), 1u);

  dialog_.reset();
  EXPECT_EQ(outer.references, 1u);  // neither the window, its handler nor its sink holds it
  EXPECT_EQ(outer.Release(), 0u);
}

}  // namespace
}  // namespace fernlite
