#include "game/script_bridge_win32.h"

#include <oleauto.h>

#include "app/run_settings.h"
#include "game/page_origin.h"
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
    const BSTR text = V_BSTR(&converted);
    std::u16string out = text ? FromWide(text, SysStringLen(text)) : std::u16string();
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

class PageExternal final : public IDispatch {
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
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
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

 private:
  ~PageExternal() {
    if (browser_) browser_->Release();
    bridge_->Release();
  }

  std::u16string TopLevelAddress() const {
    BSTR location = nullptr;
    if (!browser_ || FAILED(browser_->get_LocationURL(&location)) || !location) return {};
    std::u16string address = FromWide(location, SysStringLen(location));
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
