#include "game/script_bridge_win32.h"

#include <dispex.h>
#include <oleauto.h>
#include <servprov.h>

#include "app/run_settings.h"
#include "game/page_origin.h"
#include "platform/bstr_win32.h"
#include "platform/wide_win32.h"

namespace fernlite {

namespace {

// Arguments of one Invoke. Each is converted to the type the method expects, as script
// engines pass numbers, booleans and strings in whatever VARIANT type they like.
class VariantArguments : public ScriptArguments {
 public:
  explicit VariantArguments(const DISPPARAMS* params) : params_(params) {}

  std::size_t count() const override { return params_ && params_->rgvarg ? params_->cArgs : 0; }

  std::optional<std::u16string> Text(std::size_t index) const override {
    VARIANT converted;
    if (!Convert(index, VT_BSTR, converted)) return std::nullopt;
    std::u16string out = BstrText(V_BSTR(&converted));
    VariantClear(&converted);
    return out;
  }

  std::optional<std::int32_t> Int32(std::size_t index) const override {
    VARIANT converted;
    if (!Convert(index, VT_I4, converted)) return std::nullopt;
    return static_cast<std::int32_t>(V_I4(&converted));
  }

 private:
  bool Convert(std::size_t index, VARTYPE type, VARIANT& out) const {
    VariantInit(&out);
    if (index >= count()) return false;
    // Work on a copy: the caller's array stays as it was given.
    VARIANT source;
    VariantInit(&source);
    if (FAILED(VariantCopy(&source, &params_->rgvarg[index]))) return false;
    const HRESULT hr = VariantChangeType(&out, &source, 0, type);
    VariantClear(&source);
    return SUCCEEDED(hr);
  }

  const DISPPARAMS* params_;
};

class WindowHandleSink : public LauncherWindowSink {
 public:
  void OnStartGameRequest() override { SendMessageW(window, kStartGameMessage, 0, 0); }
  HWND window = nullptr;
};

WindowHandleSink g_launcher_sink;

// The service a page's script engine answers with the window its script runs in (the
// identifier is that of IHTMLWindow2).
constexpr GUID kPageWindowService = {
    0x332c4427, 0x26cb, 0x11d0, {0xb4, 0x83, 0x00, 0xc0, 0x4f, 0xd9, 0x01, 0x19}};

// `object`.`name` read through automation; VT_EMPTY when it cannot be read.
VARIANT ReadProperty(IDispatch* object, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names = const_cast<LPOLESTR>(name);
  DISPPARAMS none{};
  if (!object || FAILED(object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id)) ||
      FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr))) {
    VariantClear(&value);
  }
  return value;
}

// The address of the document whose script makes a call, read from the window its engine
// names (window.location.href); empty when the caller names no window or it cannot be read.
std::u16string CallerAddress(IServiceProvider* caller) {
  if (!caller) return {};
  IDispatch* window = nullptr;
  if (FAILED(caller->QueryService(kPageWindowService, IID_IDispatch,
                                  reinterpret_cast<void**>(&window))) ||
      !window) {
    return {};
  }
  VARIANT location = ReadProperty(window, L"location");
  window->Release();
  std::u16string address;
  if (V_VT(&location) == VT_DISPATCH) {
    VARIANT href = ReadProperty(V_DISPATCH(&location), L"href");
    if (V_VT(&href) == VT_BSTR) address = BstrText(V_BSTR(&href));
    VariantClear(&href);
  }
  VariantClear(&location);
  return address;
}

class PageExternal final : public IDispatchEx {
 public:
  PageExternal(CImpIDispatch* bridge, IWebBrowser2* browser) : bridge_(bridge), browser_(browser) {
    bridge_->AddRef();
    if (browser_) browser_->AddRef();
  }
  PageExternal(const PageExternal&) = delete;
  PageExternal& operator=(const PageExternal&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, __uuidof(IDispatchEx))) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatchEx*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return bridge_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return bridge_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return bridge_->GetIDsOfNames(riid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override {
    if (!MayUseBridge(TopLevelAddress(), true)) return E_ACCESSDENIED;
    return bridge_->Invoke(id, riid, locale, flags, params, result, exception, arg_error);
  }

  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) override {
    if (!id) return E_POINTER;
    LPOLESTR names = name;
    return bridge_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, id);
  }
  // A script engine that knows IDispatchEx calls through here and names its caller: a frame
  // that says it is of another origin is refused even inside a platform page. A caller that
  // names no readable window is judged by the top-level document, as through Invoke.
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     IServiceProvider* caller) override {
    const std::u16string caller_address = CallerAddress(caller);
    if (!caller_address.empty() && !MayUseBridge(caller_address, true)) return E_ACCESSDENIED;
    // Script engines may name `this` as an extra first argument here; the bridge's methods
    // take their arguments by position only.
    DISPPARAMS positional = params ? *params : DISPPARAMS{};
    if (params && params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
        params->rgdispidNamedArgs[0] == DISPID_THIS && params->cArgs >= 1) {
      positional = {params->rgvarg + 1, nullptr, params->cArgs - 1, 0};
    }
    return Invoke(id, IID_NULL, locale, flags, params ? &positional : nullptr, result, exception,
                  nullptr);
  }
  // The bridge's members are fixed: none can be deleted, listed or named back.
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD* properties) override {
    if (properties) *properties = 0;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR* name) override {
    if (name) *name = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID* next) override {
    if (next) *next = DISPID_UNKNOWN;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) override {
    if (parent) *parent = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~PageExternal() {
    if (browser_) browser_->Release();
    bridge_->Release();
  }

  std::u16string TopLevelAddress() const {
    BSTR location = nullptr;
    if (!browser_ || FAILED(browser_->get_LocationURL(&location)) || !location) return {};
    std::u16string address = BstrText(location);
    SysFreeString(location);
    return address;
  }

  CImpIDispatch* bridge_;
  IWebBrowser2* browser_;
  volatile LONG references_ = 1;
};

}  // namespace

HRESULT CreatePageExternal(CImpIDispatch* bridge, IWebBrowser2* browser, IDispatch** external) {
  if (!external) return E_POINTER;
  *external = nullptr;
  if (!bridge) return E_UNEXPECTED;
  *external = new PageExternal(bridge, browser);
  return S_OK;
}

CImpIDispatch::CImpIDispatch(RunSettings& settings) : ScriptBridge(settings) {}

HRESULT STDMETHODCALLTYPE CImpIDispatch::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
  *object = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CImpIDispatch::AddRef() {
  return ++reference_count_;
}

ULONG STDMETHODCALLTYPE CImpIDispatch::Release() {
  return --reference_count_;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT name_count,
                                                       LCID, DISPID* ids) {
  if (!names || !ids || name_count == 0) return E_INVALIDARG;
  // Only the method name; named arguments are not supported.
  const std::int32_t id = names[0] ? LookupDispId(FromWide(names[0])) : kDispUnknown;
  ids[0] = id;
  return id == kDispUnknown ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                                VARIANT* result, EXCEPINFO*, UINT* arg_error) {
  const BridgeResult outcome = ScriptBridge::Invoke(id, VariantArguments(params));
  switch (outcome.status) {
    case BridgeStatus::kOk: break;
    case BridgeStatus::kWrongCount: return E_FAIL;
    case BridgeStatus::kNotImplemented: return E_NOTIMPL;
    case BridgeStatus::kRefused: return E_ACCESSDENIED;
    case BridgeStatus::kTypeMismatch:
      if (arg_error) *arg_error = static_cast<UINT>(outcome.bad_argument);
      return DISP_E_TYPEMISMATCH;
  }
  if (outcome.text && result) {
    VariantInit(result);
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(outcome.text->data()),
                                       static_cast<UINT>(outcome.text->size()));
  }
  return S_OK;
}

CImpIDispatch* CreateScriptBridge() {
  if (!ScriptBridgeDispatch()) AdoptScriptBridge(std::make_unique<CImpIDispatch>(Settings()));
  return ScriptBridgeDispatch();
}

CImpIDispatch* ScriptBridgeDispatch() {
  return dynamic_cast<CImpIDispatch*>(ScriptBridgeObject());
}

void SetLauncherWindowHandle(HWND window) {
  g_launcher_sink.window = window;
  SetLauncherWindow(&g_launcher_sink);
}

HWND LauncherWindowHandle() {
  return g_launcher_sink.window;
}

}  // namespace fernlite
