#include <windows.h>
#include <ole2.h>
#include <dispex.h>
#include <mshtml.h>
#include <mshtmhst.h>
#include <servprov.h>

#include <gtest/gtest.h>

#include <map>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

#include "app/run_settings.h"
#include "fakes/test_env.h"
#include "game/ax_host_win32.h"
#include "game/script_bridge_win32.h"
#include "game/standard_dialog_win32.h"
#include "game/ui_handler_win32.h"
#include "platform/handles_win32.h"

namespace fernlite {
namespace {

// A distinct success code, so a forwarded answer cannot be mistaken for a fallback.
const HRESULT kSiteAnswer = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, 0x321);

// Stands in for the browser host's own site: records every call and answers kSiteAnswer
// (or `answer` when set). Also answers IOleWindow, which the handler must not pass on.
class RecordingSite : public IOleClientSite, public IDocHostUIHandler, public IOleWindow {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IDocHostUIHandler) && with_handler) {
      *out = static_cast<IDocHostUIHandler*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow)) {
      *out = static_cast<IOleWindow*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  HRESULT Record(const char* name) {
    calls.push_back(name);
    return answer;
  }

  HRESULT STDMETHODCALLTYPE SaveObject() override { return Record("SaveObject"); }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
    if (m) *m = nullptr;
    return Record("GetMoniker");
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return Record("GetContainer");
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return Record("ShowObject"); }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override {
    last_flag = show;
    return Record("OnShowWindow");
  }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override {
    return Record("RequestNewObjectLayout");
  }

  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    return Record("ShowContextMenu");
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO*) override { return Record("GetHostInfo"); }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
    last_id = id;
    return Record("ShowUI");
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return Record("HideUI"); }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return Record("UpdateUI"); }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override {
    last_flag = enable;
    return Record("EnableModeless");
  }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override {
    return Record("OnDocWindowActivate");
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override {
    return Record("OnFrameWindowActivate");
  }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return Record("ResizeBorder");
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID*, DWORD id) override {
    last_message = message;
    last_id = id;
    return Record("TranslateAccelerator");
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR*, DWORD) override {
    return Record("GetOptionKeyPath");
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget**) override {
    return Record("GetDropTarget");
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
    if (external) *external = nullptr;
    return Record("GetExternal");
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR url, LPWSTR*) override {
    last_url = url;
    return Record("TranslateUrl");
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject**) override {
    return Record("FilterDataObject");
  }

  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return Record("GetWindow"); }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override {
    return Record("ContextSensitiveHelp");
  }

  ULONG references = 0;
  bool with_handler = true;
  HRESULT answer = kSiteAnswer;
  std::vector<std::string> calls;
  BOOL last_flag = -1;
  DWORD last_id = 0;
  LPMSG last_message = nullptr;
  LPWSTR last_url = nullptr;
};

// A browser reduced to its IOleObject client-site calls.
class FakeBrowser : public IOleObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !(IsEqualIID(riid, IID_IOleObject) && ole)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IOleObject*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* next) override {
    if (next) next->AddRef();
    if (site) site->Release();
    site = next;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
    *out = site;
    if (site) site->AddRef();
    return site ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Update() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  ULONG references = 0;
  bool ole = true;
  IOleClientSite* site = nullptr;
};

// An automation object with named read-only properties, standing in for a page's window and
// its location: each property is a text or another object.
class PropertyObject : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    const auto found = properties.find(names[0]);
    if (found == properties.end()) return DISP_E_UNKNOWNNAME;
    *ids = static_cast<DISPID>(1 + std::distance(properties.begin(), found));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    if (denied) return E_ACCESSDENIED;
    if (id < 1 || static_cast<std::size_t>(id) > properties.size()) return DISP_E_MEMBERNOTFOUND;
    const Property& value = std::next(properties.begin(), id - 1)->second;
    if (const auto* text = std::get_if<std::wstring>(&value)) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocString(text->c_str());
    } else {
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = std::get<IDispatch*>(value);
      V_DISPATCH(result)->AddRef();
    }
    return S_OK;
  }

  using Property = std::variant<std::wstring, IDispatch*>;
  std::map<std::wstring, Property> properties;
  bool denied = false;
  ULONG references = 0;
};

// What a script engine passes as the caller of InvokeEx: the window its script runs in,
// under the window service, or nothing.
class CallerServices : public IServiceProvider {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IServiceProvider)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IServiceProvider*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** out) override {
    *out = nullptr;
    if (!window || !IsEqualGUID(service, IID_IHTMLWindow2)) return E_NOINTERFACE;
    return window->QueryInterface(riid, out);
  }

  IDispatch* window = nullptr;
  ULONG references = 0;
};

// Holds one reference to a fresh handler, as a hosting window does.
class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handler_ = new CUIHanderlFace();
    handler_->AddRef();
  }
  void TearDown() override {
    if (handler_) handler_->Release();
    DeleteScriptBridge();
  }
  IDocHostUIHandler* ui() { return handler_; }
  IOleClientSite* site() { return handler_; }

  // Outlives the handler, which releases it when it goes.
  RecordingSite recorded;
  CUIHanderlFace* handler_ = nullptr;
};

TEST_F(HandlerTest, ForwardsEveryOtherOperationWithItsArgumentsAndResult) {
  handler_->SetDefaultSite(&recorded);
  ASSERT_EQ(handler_->default_site(), static_cast<IOleClientSite*>(&recorded));
  ASSERT_EQ(handler_->default_handler(), static_cast<IDocHostUIHandler*>(&recorded));

  MSG message{};
  wchar_t url[] = L"http://game.test/";
  LPWSTR url_out = nullptr;
  IMoniker* moniker = nullptr;
  IOleContainer* container = nullptr;
  LPOLESTR key = nullptr;
  IDropTarget* drop = nullptr;
  IDataObject* data = nullptr;
  RECT border{};
  EXPECT_EQ(site()->SaveObject(), kSiteAnswer);
  EXPECT_EQ(site()->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker),
            kSiteAnswer);
  EXPECT_EQ(site()->GetContainer(&container), kSiteAnswer);
  EXPECT_EQ(site()->ShowObject(), kSiteAnswer);
  EXPECT_EQ(site()->OnShowWindow(TRUE), kSiteAnswer);
  EXPECT_EQ(recorded.last_flag, TRUE);
  EXPECT_EQ(site()->RequestNewObjectLayout(), kSiteAnswer);
  EXPECT_EQ(ui()->ShowUI(77, nullptr, nullptr, nullptr, nullptr), kSiteAnswer);
  EXPECT_EQ(recorded.last_id, 77u);
  EXPECT_EQ(ui()->HideUI(), kSiteAnswer);
  EXPECT_EQ(ui()->UpdateUI(), kSiteAnswer);
  EXPECT_EQ(ui()->EnableModeless(FALSE), kSiteAnswer);
  EXPECT_EQ(recorded.last_flag, FALSE);
  EXPECT_EQ(ui()->OnDocWindowActivate(TRUE), kSiteAnswer);
  EXPECT_EQ(ui()->OnFrameWindowActivate(TRUE), kSiteAnswer);
  EXPECT_EQ(ui()->ResizeBorder(&border, nullptr, TRUE), kSiteAnswer);
  EXPECT_EQ(ui()->TranslateAccelerator(&message, nullptr, 5), kSiteAnswer);
  EXPECT_EQ(recorded.last_message, &message);
  EXPECT_EQ(recorded.last_id, 5u);
  EXPECT_EQ(ui()->GetOptionKeyPath(&key, 0), kSiteAnswer);
  EXPECT_EQ(ui()->GetDropTarget(nullptr, &drop), kSiteAnswer);
  EXPECT_EQ(ui()->GetExternal(nullptr), kSiteAnswer);  // no bridge: the old site decides
  EXPECT_EQ(ui()->TranslateUrl(0, url, &url_out), kSiteAnswer);
  EXPECT_EQ(recorded.last_url, url);
  EXPECT_EQ(ui()->FilterDataObject(nullptr, &data), kSiteAnswer);

  const std::vector<std::string> expected = {"SaveObject",
                                             "GetMoniker",
                                             "GetContainer",
                                             "ShowObject",
                                             "OnShowWindow",
                                             "RequestNewObjectLayout",
                                             "ShowUI",
                                             "HideUI",
                                             "UpdateUI",
                                             "EnableModeless",
                                             "OnDocWindowActivate",
                                             "OnFrameWindowActivate",
                                             "ResizeBorder",
                                             "TranslateAccelerator",
                                             "GetOptionKeyPath",
                                             "GetDropTarget",
                                             "GetExternal",
                                             "TranslateUrl",
                                             "FilterDataObject"};
  EXPECT_EQ(recorded.calls, expected);
}

TEST_F(HandlerTest, ContextMenuHostInfoAndExternalAreNeverForwarded) {
  handler_->SetDefaultSite(&recorded);
  CImpIDispatch* bridge = CreateScriptBridge();
  const ULONG bridge_references = bridge->reference_count();

  POINT point{10, 10};
  EXPECT_EQ(ui()->ShowContextMenu(CONTEXT_MENU_DEFAULT, &point, nullptr, nullptr), S_OK);
  EXPECT_EQ(ui()->ShowContextMenu(CONTEXT_MENU_IMAGE, nullptr, nullptr, nullptr), S_OK);

  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  info.dwFlags = 0x40000;
  info.dwDoubleClick = 5;
  info.pchHostCss = const_cast<OLECHAR*>(L"body{}");
  EXPECT_EQ(ui()->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 12u);
  EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_DEFAULT));
  EXPECT_EQ(info.cbSize, sizeof info);
  EXPECT_STREQ(info.pchHostCss, L"body{}");
  EXPECT_EQ(ui()->GetHostInfo(nullptr), S_OK);

  // The page gets the bridge behind its own face; a handler that knows no browser cannot
  // tell whose page calls, and refuses.
  IDispatch* external = nullptr;
  EXPECT_EQ(ui()->GetExternal(&external), S_OK);
  ASSERT_NE(external, nullptr);
  EXPECT_NE(external, static_cast<IDispatch*>(bridge));
  EXPECT_EQ(bridge->reference_count(), bridge_references + 1);
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(L"SetGuestInfo");
  EXPECT_EQ(external->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, kDispSetGuestInfo);
  DISPPARAMS none{};
  EXPECT_EQ(external->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            E_ACCESSDENIED);
  external->Release();
  EXPECT_EQ(bridge->reference_count(), bridge_references);

  EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(HandlerTest, OnlyAPlatformPageAtTheTopOfTheBrowserReachesTheBridge) {
  test::ScopedEnv platform("FERNLITE_PLATFORM", std::string("http://127.0.0.1:8123"));
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  CImpIDispatch* bridge = CreateScriptBridge();
  ComPtr<IWebBrowser2> browser;
  ASSERT_EQ(CreateWebBrowser(browser.put()), S_OK);
  // Sited the way the program sites it: in the control host, then the handler over its site.
  ASSERT_TRUE(RegisterAxHostClasses());
  HWND host = CreateWindowExW(0, kAxHostClass, L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  ASSERT_EQ(AxAttachControl(browser.get(), host), S_OK);
  ASSERT_TRUE(InstallUIHandler(browser.get(), handler_));

  const auto go = [&](const wchar_t* page) {
    VARIANT empty;
    VariantInit(&empty);
    BSTR address = SysAllocString(page);
    browser->Navigate(address, &empty, &empty, &empty, &empty);
    SysFreeString(address);
    // The browser takes the address in its own time.
    for (const DWORD until = GetTickCount() + 5000; GetTickCount() < until;) {
      BSTR location = nullptr;
      const bool there = SUCCEEDED(browser->get_LocationURL(&location)) && location &&
                         std::wstring(location) == page;
      SysFreeString(location);
      if (there) break;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(10);
    }
  };
  // Sets Ext through the external the page gets, by plain Invoke or, with `caller` set, by
  // IDispatchEx::InvokeEx naming that caller.
  const auto set_ext = [&](const wchar_t* ext, CallerServices* caller = nullptr,
                           bool by_invoke_ex = false) {
    IDispatch* external = nullptr;
    EXPECT_EQ(ui()->GetExternal(&external), S_OK);
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = SysAllocString(ext);
    DISPPARAMS params{&argument, nullptr, 1, 0};
    HRESULT result = E_FAIL;
    if (caller || by_invoke_ex) {
      IDispatchEx* extended = nullptr;
      EXPECT_EQ(
          external->QueryInterface(__uuidof(IDispatchEx), reinterpret_cast<void**>(&extended)),
          S_OK);
      if (extended) {
        DISPID id = DISPID_UNKNOWN;
        BSTR name = SysAllocString(L"SetGuestInfo");
        EXPECT_EQ(extended->GetDispID(name, fdexNameCaseSensitive, &id), S_OK);
        SysFreeString(name);
        EXPECT_EQ(id, kDispSetGuestInfo);
        result = extended->InvokeEx(id, 0, DISPATCH_METHOD, &params, nullptr, nullptr, caller);
        extended->Release();
      }
    } else {
      result = external->Invoke(kDispSetGuestInfo, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                nullptr, nullptr);
    }
    VariantClear(&argument);
    external->Release();
    return result;
  };
  const auto call = [&](const wchar_t* page, const wchar_t* ext) {
    go(page);
    return set_ext(ext);
  };
  Settings().Ext.clear();
  EXPECT_EQ(call(L"http://evil.test/guest/c1/", L"evil"), E_ACCESSDENIED);
  EXPECT_EQ(call(L"file:///C:/windows/win.ini", L"file"), E_ACCESSDENIED);
  EXPECT_EQ(Settings().Ext, u"");
  EXPECT_EQ(call(L"http://127.0.0.1:8123/guest/c1/?gid=qmzt", L"mine"), S_OK);
  EXPECT_EQ(Settings().Ext, u"mine");

  // Under a platform page, a caller whose window is elsewhere is refused; one that is the
  // platform's own passes, and one that names no readable window is judged by the page.
  PropertyObject location;
  PropertyObject window;
  window.properties[L"location"] = &location;
  CallerServices caller;
  caller.window = &window;
  location.properties[L"href"] = L"http://evil.test/frame.html";
  EXPECT_EQ(set_ext(L"framed", &caller), E_ACCESSDENIED);
  location.properties[L"href"] = L"about:blank";
  EXPECT_EQ(set_ext(L"blank", &caller), E_ACCESSDENIED);
  EXPECT_EQ(Settings().Ext, u"mine");
  location.properties[L"href"] = L"http://127.0.0.1:8123/guest/c1/?gid=qmzt";
  EXPECT_EQ(set_ext(L"top", &caller), S_OK);
  EXPECT_EQ(Settings().Ext, u"top");
  location.denied = true;
  EXPECT_EQ(set_ext(L"unreadable", &caller), S_OK);
  EXPECT_EQ(Settings().Ext, u"unreadable");
  CallerServices silent;
  EXPECT_EQ(set_ext(L"silent", &silent), S_OK);
  {
    // A method call that names its `this` first, as script engines may through InvokeEx.
    IDispatch* external = nullptr;
    ASSERT_EQ(ui()->GetExternal(&external), S_OK);
    IDispatchEx* extended = nullptr;
    ASSERT_EQ(external->QueryInterface(__uuidof(IDispatchEx), reinterpret_cast<void**>(&extended)),
              S_OK);
    VARIANT arguments[2];
    VariantInit(&arguments[0]);
    V_VT(&arguments[0]) = VT_DISPATCH;
    V_DISPATCH(&arguments[0]) = &window;
    VariantInit(&arguments[1]);
    V_VT(&arguments[1]) = VT_BSTR;
    V_BSTR(&arguments[1]) = SysAllocString(L"with this");
    DISPID this_id = DISPID_THIS;
    DISPPARAMS params{arguments, &this_id, 2, 1};
    EXPECT_EQ(extended->InvokeEx(kDispSetGuestInfo, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                                 &silent),
              S_OK);
    EXPECT_EQ(Settings().Ext, u"with this");
    VariantClear(&arguments[1]);
    extended->Release();
    external->Release();
  }
  EXPECT_EQ(set_ext(L"no caller", nullptr, true), S_OK);
  EXPECT_EQ(Settings().Ext, u"no caller");
  // Whatever the caller says, a page that is not the platform's is refused.
  location.denied = false;
  go(L"http://evil.test/guest/c1/");
  EXPECT_EQ(set_ext(L"evil top", &caller), E_ACCESSDENIED);
  EXPECT_EQ(set_ext(L"evil top", nullptr, true), E_ACCESSDENIED);
  EXPECT_EQ(Settings().Ext, u"no caller");
  // Every reference the bridge took on the caller's objects was given back.
  EXPECT_EQ(window.references, 0u);
  EXPECT_EQ(location.references, 0u);
  EXPECT_EQ(caller.references, 0u);
  (void)bridge;
  DestroyWindow(host);
  browser.reset();
  OleUninitialize();
}

TEST_F(HandlerTest, DropTargetTurnsTheSitesFalseIntoFailure) {
  handler_->SetDefaultSite(&recorded);
  IDropTarget* drop = nullptr;
  recorded.answer = S_FALSE;
  EXPECT_EQ(ui()->GetDropTarget(nullptr, &drop), E_FAIL);
  recorded.answer = S_OK;
  EXPECT_EQ(ui()->GetDropTarget(nullptr, &drop), S_OK);
  recorded.answer = E_OUTOFMEMORY;
  EXPECT_EQ(ui()->GetDropTarget(nullptr, &drop), E_OUTOFMEMORY);
}

TEST_F(HandlerTest, FallbacksWithoutADefaultSite) {
  auto* junk = reinterpret_cast<void*>(0x1234);
  IMoniker* moniker = static_cast<IMoniker*>(junk);
  IOleContainer* container = static_cast<IOleContainer*>(junk);
  LPOLESTR key = static_cast<LPOLESTR>(junk);
  IDropTarget* drop = static_cast<IDropTarget*>(junk);
  IDispatch* external = static_cast<IDispatch*>(junk);
  LPWSTR url_out = static_cast<LPWSTR>(junk);
  IDataObject* data = static_cast<IDataObject*>(junk);

  EXPECT_EQ(site()->SaveObject(), E_FAIL);
  EXPECT_EQ(site()->GetMoniker(0, 0, &moniker), E_NOTIMPL);
  EXPECT_EQ(moniker, nullptr);
  EXPECT_EQ(site()->GetContainer(&container), E_NOINTERFACE);
  EXPECT_EQ(container, nullptr);
  EXPECT_EQ(site()->ShowObject(), S_OK);
  EXPECT_EQ(site()->OnShowWindow(TRUE), S_OK);
  EXPECT_EQ(site()->RequestNewObjectLayout(), E_NOTIMPL);
  EXPECT_EQ(ui()->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE);
  EXPECT_EQ(ui()->HideUI(), E_NOTIMPL);
  EXPECT_EQ(ui()->UpdateUI(), E_NOTIMPL);
  EXPECT_EQ(ui()->EnableModeless(TRUE), E_NOTIMPL);
  EXPECT_EQ(ui()->OnDocWindowActivate(TRUE), E_NOTIMPL);
  EXPECT_EQ(ui()->OnFrameWindowActivate(TRUE), E_NOTIMPL);
  EXPECT_EQ(ui()->ResizeBorder(nullptr, nullptr, FALSE), E_NOTIMPL);
  EXPECT_EQ(ui()->TranslateAccelerator(nullptr, nullptr, 0), E_NOTIMPL);
  EXPECT_EQ(ui()->GetOptionKeyPath(&key, 0), E_NOTIMPL);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(ui()->GetDropTarget(nullptr, &drop), E_NOTIMPL);
  EXPECT_EQ(drop, nullptr);
  EXPECT_EQ(ui()->GetExternal(&external), E_NOTIMPL);
  EXPECT_EQ(external, nullptr);
  EXPECT_EQ(ui()->TranslateUrl(0, nullptr, &url_out), S_FALSE);
  EXPECT_EQ(url_out, nullptr);
  EXPECT_EQ(ui()->FilterDataObject(nullptr, &data), S_FALSE);
  EXPECT_EQ(data, nullptr);
  // Output pointers that cannot be written are left alone.
  EXPECT_EQ(ui()->GetExternal(nullptr), E_NOTIMPL);
  EXPECT_EQ(site()->GetMoniker(0, 0, nullptr), E_NOTIMPL);
}

TEST_F(HandlerTest, SiteWithoutUiHandlerForwardsOnlyClientSiteCalls) {
  recorded.with_handler = false;
  handler_->SetDefaultSite(&recorded);
  EXPECT_EQ(handler_->default_handler(), nullptr);
  EXPECT_EQ(site()->ShowObject(), kSiteAnswer);
  EXPECT_EQ(ui()->HideUI(), E_NOTIMPL);
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"ShowObject"});
}

TEST_F(HandlerTest, AnswersOnlyItsThreeInterfaces) {
  handler_->SetDefaultSite(&recorded);
  void* out = nullptr;
  EXPECT_EQ(handler_->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(site()));
  static_cast<IUnknown*>(out)->Release();
  EXPECT_EQ(ui()->QueryInterface(IID_IOleClientSite, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(site()));
  static_cast<IUnknown*>(out)->Release();
  EXPECT_EQ(site()->QueryInterface(IID_IDocHostUIHandler, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(ui()));
  static_cast<IUnknown*>(out)->Release();

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler_->QueryInterface(IID_IOleWindow, &out), E_NOINTERFACE);  // the old site has it
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(handler_->QueryInterface(IID_IDispatch, nullptr), E_INVALIDARG);
  EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(HandlerTest, LastReleaseDestroysAndReleasesTheDefaults) {
  handler_->SetDefaultSite(nullptr);  // ignored
  EXPECT_EQ(handler_->default_site(), nullptr);
  handler_->SetDefaultSite(&recorded);
  EXPECT_EQ(recorded.references, 2u);  // the site and its UI handler
  EXPECT_EQ(handler_->AddRef(), 2u);
  EXPECT_EQ(ui()->Release(), 1u);
  EXPECT_EQ(handler_->Release(), 0u);
  handler_ = nullptr;
  EXPECT_EQ(recorded.references, 0u);
}

TEST_F(HandlerTest, InstallationTakesTheBrowsersSiteAsDefault) {
  RecordingSite& original = recorded;
  FakeBrowser browser;
  browser.SetClientSite(&original);
  ASSERT_TRUE(InstallUIHandler(&browser, handler_));
  EXPECT_EQ(browser.site, static_cast<IOleClientSite*>(handler_));
  EXPECT_EQ(handler_->default_site(), static_cast<IOleClientSite*>(&original));
  EXPECT_EQ(browser.references, 0u);  // every query released again
  EXPECT_EQ(site()->ShowObject(), kSiteAnswer);
  browser.SetClientSite(nullptr);

  // Without IOleObject or without a current site the browser keeps what it has.
  CUIHanderlFace* other = new CUIHanderlFace();
  other->AddRef();
  FakeBrowser bare;
  EXPECT_FALSE(InstallUIHandler(&bare, other));
  EXPECT_EQ(bare.site, nullptr);
  FakeBrowser no_ole;
  no_ole.ole = false;
  no_ole.SetClientSite(&original);
  EXPECT_FALSE(InstallUIHandler(&no_ole, other));
  EXPECT_EQ(no_ole.site, static_cast<IOleClientSite*>(&original));
  no_ole.SetClientSite(nullptr);
  other->Release();
}

}  // namespace
}  // namespace fernlite
