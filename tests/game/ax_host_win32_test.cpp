#include "game/ax_host_win32.h"

#include <windows.h>
#include <exdisp.h>
#include <ole2.h>
#include <idispids.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <vector>

#include "game/standard_dialog_win32.h"
#include "fakes/com_doubles_win32.h"
#include "game/ui_handler_win32.h"
#include "platform/handles_win32.h"

namespace fernlite {
namespace {

using test::SameObject;

constexpr wchar_t kParentClass[] = L"FernliteAxHostTestParent";
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

RECT ClientRect(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

// The rectangle of `window` in its parent's client coordinates.
RECT RectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Stands in for a control's in-place object: records what it is offered.
class RecordingActiveObject : public test::AcceleratorRecorder {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IOleWindow) &&
        !(IsEqualIID(riid, IID_IOleInPlaceActiveObject) && active)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IOleInPlaceActiveObject*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 0;
  bool active = true;
};

class AxHostTest : public ::testing::Test {
 protected:
  // Once for all: OLE's start and end are slow under Wine.
  static void SetUpTestSuite() { OleInitialize(nullptr); }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    ASSERT_TRUE(RegisterAxHostClasses());
    WNDCLASSW parent_class{};
    parent_class.lpfnWndProc = DefWindowProcW;
    parent_class.hInstance = GetModuleHandleW(nullptr);
    parent_class.lpszClassName = kParentClass;
    RegisterClassW(&parent_class);
    parent_ = CreateWindowExW(0, kParentClass, L"host test", WS_POPUP, 40, 40, 640, 480, nullptr,
                              nullptr, parent_class.hInstance, nullptr);
    ASSERT_NE(parent_, nullptr);
    // Not activated: under Wine without a window manager an active window takes seconds to go.
    ShowWindow(parent_, SW_SHOWNOACTIVATE);
  }
  void TearDown() override {
    if (parent_) DestroyWindow(parent_);
    Pump();
    UnregisterClassW(kParentClass, GetModuleHandleW(nullptr));
  }

  HWND MakeHost(const wchar_t* cls = kAxHostClass, const wchar_t* text = nullptr, int width = 300,
                int height = 200) {
    return CreateWindowExW(0, cls, text, kChildStyle, 10, 20, width, height, parent_, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }

  static ComPtr<IWebBrowser2> NewBrowser() {
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(CreateWebBrowser(browser.put()), S_OK);
    return browser;
  }

  // The browser's own window, as its in-place object reports it.
  static HWND BrowserWindow(IUnknown* browser) {
    ComPtr<IOleInPlaceObject> in_place;
    HWND window = nullptr;
    if (SUCCEEDED(browser->QueryInterface(IID_IOleInPlaceObject, in_place.put_void())))
      in_place->GetWindow(&window);
    return window;
  }

  HWND parent_ = nullptr;
};

TEST_F(AxHostTest, RegistrationIsRepeatableAndNamesBothClassesAndMessages) {
  EXPECT_TRUE(RegisterAxHostClasses());  // already registered: no effect, still true
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWin100", &info));
  EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWinLic100", &info));
  EXPECT_EQ(AxGetHostMessage(), RegisterWindowMessageW(L"WM_ATLGETHOST"));
  EXPECT_EQ(AxGetControlMessage(), RegisterWindowMessageW(L"WM_ATLGETCONTROL"));
  EXPECT_NE(AxGetHostMessage(), AxGetControlMessage());

  // An empty host answers both messages with nothing.
  HWND host = MakeHost();
  ASSERT_NE(host, nullptr);
  EXPECT_NE(SendMessageW(host, AxGetHostMessage(), 0, 0), 0);
  EXPECT_EQ(SendMessageW(host, AxGetControlMessage(), 0, 0), 0);
  IUnknown* control = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(AxGetControl(host, &control), E_FAIL);
  EXPECT_EQ(control, nullptr);
  // Ordinary windows are no hosts.
  IUnknown* site = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(AxGetHost(parent_, &site), E_FAIL);
  EXPECT_EQ(site, nullptr);
  ComPtr<IWebBrowser2> browser = NewBrowser();
  ASSERT_TRUE(browser);
  EXPECT_EQ(AxAttachControl(browser.get(), parent_), E_INVALIDARG);
}

TEST_F(AxHostTest, AttachedBrowserIsInPlaceOverTheWholeHostAndFollowsItsSize) {
  HWND host = MakeHost();
  ASSERT_NE(host, nullptr);
  ComPtr<IWebBrowser2> browser = NewBrowser();
  ASSERT_TRUE(browser);
  ASSERT_EQ(AxAttachControl(browser.get(), host), S_OK);
  EXPECT_TRUE(AxIsInPlaceActive(host));

  // The host answers its site and the control, the same objects the browser sees.
  ComPtr<IUnknown> site, control;
  ASSERT_EQ(AxGetHost(host, site.put()), S_OK);
  ASSERT_EQ(AxGetControl(host, control.put()), S_OK);
  EXPECT_TRUE(SameObject(control.get(), browser.get()));
  EXPECT_EQ(reinterpret_cast<IUnknown*>(SendMessageW(host, AxGetControlMessage(), 0, 0)),
            control.get());
  ComPtr<IOleObject> ole;
  ASSERT_EQ(browser->QueryInterface(IID_IOleObject, ole.put_void()), S_OK);
  ComPtr<IOleClientSite> client;
  ASSERT_EQ(ole->GetClientSite(client.put()), S_OK);
  EXPECT_TRUE(SameObject(client.get(), site.get()));

  HWND window = BrowserWindow(browser.get());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetParent(window), host);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(SameRect(RectInParent(window), ClientRect(host)));

  SetWindowPos(host, nullptr, 0, 0, 420, 260, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{0, 0, 420, 260}));
  SetWindowPos(host, nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{0, 0, 120, 90}));
}

TEST_F(AxHostTest, SiteAnswersTheAmbientPropertiesAndTheInPlaceContext) {
  HWND host = MakeHost();
  ASSERT_NE(host, nullptr);
  ComPtr<IUnknown> site;
  ASSERT_EQ(AxGetHost(host, site.put()), S_OK);

  ComPtr<IDispatch> ambient;
  ASSERT_EQ(site->QueryInterface(IID_IDispatch, ambient.put_void()), S_OK);
  DISPPARAMS none{};
  VARIANT value;
  VariantInit(&value);
  ASSERT_EQ(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                            &value, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(V_VT(&value), VT_BOOL);
  EXPECT_EQ(V_BOOL(&value), VARIANT_TRUE);  // a running program, not a form designer
  ASSERT_EQ(ambient->Invoke(DISPID_AMBIENT_UIDEAD, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr),
            S_OK);
  EXPECT_EQ(V_BOOL(&value), VARIANT_FALSE);
  // Properties the host has no opinion on are left to the control's defaults.
  EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_SILENT, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none,
                            &value, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                            nullptr, nullptr, nullptr),
            E_POINTER);

  ComPtr<IOleInPlaceSite> in_place;
  ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceSite, in_place.put_void()), S_OK);
  HWND window = nullptr;
  EXPECT_EQ(in_place->GetWindow(&window), S_OK);
  EXPECT_EQ(window, host);
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ASSERT_EQ(in_place->GetWindowContext(frame.put(), document.put(), &position, &clip, &info), S_OK);
  ASSERT_TRUE(frame);
  EXPECT_TRUE(SameRect(position, ClientRect(host)));
  EXPECT_TRUE(SameRect(clip, position));
  EXPECT_EQ(info.hwndFrame, parent_);
  EXPECT_EQ(info.cb, sizeof info);
  HWND frame_window = nullptr;
  EXPECT_EQ(frame->GetWindow(&frame_window), S_OK);
  EXPECT_EQ(frame_window, parent_);  // the frame is the top-level window
  EXPECT_EQ(in_place->GetWindowContext(nullptr, document.put(), &position, &clip, &info),
            E_POINTER);

  ComPtr<IOleControlSite> control_site;
  EXPECT_EQ(site->QueryInterface(IID_IOleControlSite, control_site.put_void()), S_OK);
  ComPtr<IUnknown> other;
  EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, other.put_void()), E_NOINTERFACE);
}

TEST_F(AxHostTest, WindowTextNamesTheControlToCreate) {
  HWND by_clsid = MakeHost(kAxHostClass, L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
  ASSERT_NE(by_clsid, nullptr);
  ComPtr<IUnknown> control;
  ASSERT_EQ(AxGetControl(by_clsid, control.put()), S_OK);
  ComPtr<IWebBrowser2> browser;
  EXPECT_EQ(control->QueryInterface(IID_IWebBrowser2, browser.put_void()), S_OK);
  EXPECT_TRUE(AxIsInPlaceActive(by_clsid));

  HWND licensed = MakeHost(kAxHostLicensedClass, L"Shell.Explorer.2");
  ASSERT_NE(licensed, nullptr);
  ComPtr<IUnknown> by_progid;
  ASSERT_EQ(AxGetControl(licensed, by_progid.put()), S_OK);
  EXPECT_FALSE(SameObject(by_progid.get(), control.get()));

  // A name that makes no control makes no window.
  EXPECT_EQ(MakeHost(kAxHostClass, L"{00000000-1111-2222-3333-444444444444}"), nullptr);
  EXPECT_EQ(MakeHost(kAxHostClass, L"No.Such.Control"), nullptr);
}

TEST_F(AxHostTest, DestroyingTheHostLetsTheBrowserGoAndLeavesTheSiteInert) {
  HWND host = MakeHost();
  ASSERT_NE(host, nullptr);
  ComPtr<IWebBrowser2> browser = NewBrowser();
  ASSERT_TRUE(browser);
  const ULONG alone = References(browser.get());
  ASSERT_EQ(AxAttachControl(browser.get(), host), S_OK);
  EXPECT_GT(References(browser.get()), alone);
  HWND window = BrowserWindow(browser.get());
  ASSERT_NE(window, nullptr);
  ComPtr<IUnknown> site;
  ASSERT_EQ(AxGetHost(host, site.put()), S_OK);
  ComPtr<IOleInPlaceSite> in_place;
  ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceSite, in_place.put_void()), S_OK);

  DestroyWindow(host);
  Pump();
  EXPECT_EQ(References(browser.get()), alone);
  EXPECT_FALSE(IsWindow(window));
  ComPtr<IOleObject> ole;
  ASSERT_EQ(browser->QueryInterface(IID_IOleObject, ole.put_void()), S_OK);
  ComPtr<IOleClientSite> client;
  ole->GetClientSite(client.put());
  EXPECT_FALSE(client);
  // A control calling late finds a site without window rather than a dangling one.
  HWND late = reinterpret_cast<HWND>(1);
  EXPECT_EQ(in_place->GetWindow(&late), E_FAIL);
  EXPECT_EQ(late, nullptr);
  EXPECT_EQ(in_place->CanInPlaceActivate(), S_FALSE);
  in_place.reset();
  EXPECT_EQ(site.detach()->Release(), 0u);  // nothing but this test held it
  ole.reset();
  EXPECT_EQ(browser.detach()->Release(), 0u);
}

TEST_F(AxHostTest, AnotherControlReplacesTheFirst) {
  HWND host = MakeHost();
  ASSERT_NE(host, nullptr);
  ComPtr<IWebBrowser2> first = NewBrowser();
  ComPtr<IWebBrowser2> second = NewBrowser();
  ASSERT_TRUE(first && second);
  const ULONG alone = References(first.get());
  ASSERT_EQ(AxAttachControl(first.get(), host), S_OK);
  HWND first_window = BrowserWindow(first.get());
  ASSERT_EQ(AxAttachControl(second.get(), host), S_OK);
  EXPECT_EQ(References(first.get()), alone);
  EXPECT_FALSE(IsWindow(first_window));
  ComPtr<IUnknown> control;
  ASSERT_EQ(AxGetControl(host, control.put()), S_OK);
  EXPECT_TRUE(SameObject(control.get(), second.get()));
  EXPECT_EQ(GetParent(BrowserWindow(second.get())), host);
  // Something without IOleObject is refused and the current control stays.
  RecordingActiveObject not_a_control;
  EXPECT_EQ(AxAttachControl(&not_a_control, host), E_NOINTERFACE);
  EXPECT_EQ(not_a_control.references, 0u);
  control.reset();
  ASSERT_EQ(AxGetControl(host, control.put()), S_OK);
  EXPECT_TRUE(SameObject(control.get(), second.get()));
}

TEST_F(AxHostTest, WithTheUiHandlerInstalledTheBrowserStillTalksToTheHostsInPlaceSite) {
  HWND host = MakeHost();
  ASSERT_NE(host, nullptr);
  ComPtr<IWebBrowser2> browser = NewBrowser();
  ASSERT_TRUE(browser);
  ASSERT_EQ(AxAttachControl(browser.get(), host), S_OK);
  ComPtr<IUnknown> site;
  ASSERT_EQ(AxGetHost(host, site.put()), S_OK);

  auto* handler = new CUIHanderlFace();
  handler->AddRef();
  ASSERT_TRUE(InstallUIHandler(browser.get(), handler));
  EXPECT_TRUE(SameObject(handler->default_site(), site.get()));
  EXPECT_EQ(AxActivateInPlace(host), S_OK);
  EXPECT_TRUE(AxIsInPlaceActive(host));

  ComPtr<IOleObject> ole;
  ASSERT_EQ(browser->QueryInterface(IID_IOleObject, ole.put_void()), S_OK);
  ComPtr<IOleClientSite> client;
  ASSERT_EQ(ole->GetClientSite(client.put()), S_OK);
  EXPECT_EQ(client.get(), static_cast<IOleClientSite*>(handler));
  HWND window = BrowserWindow(browser.get());
  EXPECT_EQ(GetParent(window), host);
  SetWindowPos(host, nullptr, 0, 0, 333, 222, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{0, 0, 333, 222}));

  // Hiding the browser goes through its in-place site: the host's, which hears of it.
  RECT rect = ClientRect(host);
  EXPECT_EQ(ole->DoVerb(OLEIVERB_HIDE, nullptr, client.get(), 0, host, &rect), S_OK);
  EXPECT_FALSE(AxIsInPlaceActive(host));

  // Destroying the host takes the handler off the browser; the handler then holds the only
  // reference to the host's site besides this test.
  client.reset();
  DestroyWindow(host);
  Pump();
  ComPtr<IOleClientSite> after;
  ole->GetClientSite(after.put());
  EXPECT_FALSE(after);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(site.detach()->Release(), 0u);
}

TEST(AxTranslateAccelerator, OnlyKeyboardMessagesAreOfferedAndOnlyOkTakesThem) {
  RecordingActiveObject control;
  MSG message{};
  for (UINT number : {0x00FFu, 0x010Au, 0x0200u, 0x0201u, 0x000Fu, 0x0400u}) {
    message.message = number;
    EXPECT_FALSE(AxTranslateAccelerator(&control, &message)) << number;
  }
  EXPECT_TRUE(control.offered.empty());
  for (UINT number = 0x0100; number <= 0x0109; ++number) {
    message.message = number;
    EXPECT_TRUE(AxTranslateAccelerator(&control, &message)) << number;
  }
  EXPECT_EQ(control.offered.size(), 10u);

  message.message = WM_KEYDOWN;
  control.answer = S_FALSE;
  EXPECT_FALSE(AxTranslateAccelerator(&control, &message));
  control.answer = E_FAIL;
  EXPECT_FALSE(AxTranslateAccelerator(&control, &message));
  control.active = false;
  control.answer = S_OK;
  EXPECT_FALSE(AxTranslateAccelerator(&control, &message));
  EXPECT_EQ(control.offered.size(), 12u);
  EXPECT_FALSE(AxTranslateAccelerator(nullptr, &message));
  EXPECT_FALSE(AxTranslateAccelerator(&control, nullptr));
  EXPECT_EQ(control.references, 0u);
}

}  // namespace
}  // namespace fernlite
