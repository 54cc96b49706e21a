#include "game/browser_events_win32.h"

#include <exdisp.h>
#include <oleauto.h>

#include <string>
#include <utility>

#include "platform/bstr_win32.h"

namespace fernlite {
namespace {

constexpr UINT kNewWindow3Arguments = 5;

bool HasType(const VARIANTARG& argument, VARTYPE type) {
  return argument.vt == type;
}

// The arguments of NewWindow3 as the browser sends them (last first): ppDisp, Cancel, flags,
// referring address, target. Everything is checked: the call may come from anywhere.
bool IsWellFormedNewWindow3(const DISPPARAMS* parameters) {
  if (!parameters || parameters->cArgs != kNewWindow3Arguments || parameters->cNamedArgs != 0 ||
      !parameters->rgvarg) {
    return false;
  }
  const VARIANTARG* arguments = parameters->rgvarg;
  return HasType(arguments[4], VT_BYREF | VT_DISPATCH) && arguments[4].ppdispVal &&
         HasType(arguments[3], VT_BYREF | VT_BOOL) && arguments[3].pboolVal &&
         HasType(arguments[2], VT_I4) && HasType(arguments[1], VT_BSTR) &&
         HasType(arguments[0], VT_BSTR);
}

}  // namespace

BrowserEventSink::BrowserEventSink(NewWindowHandler handler) : handler_(std::move(handler)) {}

BrowserEventSink::~BrowserEventSink() = default;

HRESULT BrowserEventSink::Connect(IUnknown* source) {
  if (!source) return E_POINTER;
  if (cookie_) return E_UNEXPECTED;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.put_void());
  if (FAILED(hr) || !container) return FAILED(hr) ? hr : E_NOINTERFACE;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put());
  if (FAILED(hr) || !point) return FAILED(hr) ? hr : E_NOINTERFACE;
  DWORD cookie = 0;
  hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
  if (FAILED(hr)) return hr;
  point_ = std::move(point);
  cookie_ = cookie;
  return S_OK;
}

void BrowserEventSink::Disconnect() {
  handler_ = nullptr;
  if (point_ && cookie_) point_->Unadvise(cookie_);
  cookie_ = 0;
  point_.reset();
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BrowserEventSink::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&reference_count_));
}

ULONG STDMETHODCALLTYPE BrowserEventSink::Release() {
  const LONG count = InterlockedDecrement(&reference_count_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::Invoke(DISPID id, REFIID, LCID, WORD,
                                                   DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                                   UINT*) {
  // Every other event, and anything not shaped like NewWindow3, is none of our business.
  if (id != kDispidNewWindow3 || !IsWellFormedNewWindow3(parameters)) return S_OK;
  VARIANT_BOOL* cancel = parameters->rgvarg[3].pboolVal;
  BSTR target = parameters->rgvarg[0].bstrVal;

  // The handler may pump messages (the shell, a question): stay alive through it.
  AddRef();
  if (handler_) {
    // Nothing may unwind into the browser.
    try {
      NewWindowHandler handler = handler_;
      handler(BstrText(target));
    } catch (...) {
    }
  }
  // The embedded browser never opens a window of its own.
  *cancel = VARIANT_TRUE;
  Release();
  return S_OK;
}

}  // namespace fernlite
