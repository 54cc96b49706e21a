#include "game/ui_handler_win32.h"

#include "game/script_bridge_win32.h"

namespace fernlite {

namespace {

template <typename T>
void ClearOut(T** out) {
  if (out) *out = nullptr;
}

}  // namespace

CUIHanderlFace::~CUIHanderlFace() {
  if (default_handler_) default_handler_->Release();
  if (default_site_) default_site_->Release();
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(riid, IID_IDocHostUIHandler)) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CUIHanderlFace::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&reference_count_));
}

ULONG STDMETHODCALLTYPE CUIHanderlFace::Release() {
  const LONG count = InterlockedDecrement(&reference_count_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

void CUIHanderlFace::SetDefaultSite(IOleClientSite* site) {
  if (!site) return;
  if (default_handler_) default_handler_->Release();
  if (default_site_) default_site_->Release();
  default_handler_ = nullptr;
  site->AddRef();
  default_site_ = site;
  void* handler = nullptr;
  if (SUCCEEDED(site->QueryInterface(IID_IDocHostUIHandler, &handler)) && handler) {
    default_handler_ = static_cast<IDocHostUIHandler*>(handler);
  }
}

// ---- IOleClientSite ----

HRESULT STDMETHODCALLTYPE CUIHanderlFace::SaveObject() {
  return default_site_ ? default_site_->SaveObject() : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::GetMoniker(DWORD assign, DWORD which,
                                                     IMoniker** moniker) {
  if (default_site_) return default_site_->GetMoniker(assign, which, moniker);
  ClearOut(moniker);
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::GetContainer(IOleContainer** container) {
  if (default_site_) return default_site_->GetContainer(container);
  ClearOut(container);
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::ShowObject() {
  return default_site_ ? default_site_->ShowObject() : S_OK;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::OnShowWindow(BOOL show) {
  return default_site_ ? default_site_->OnShowWindow(show) : S_OK;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::RequestNewObjectLayout() {
  return default_site_ ? default_site_->RequestNewObjectLayout() : E_NOTIMPL;
}

// ---- IDocHostUIHandler ----

HRESULT STDMETHODCALLTYPE CUIHanderlFace::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
  // Handled: the browser shows no menu of its own.
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info) {
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::ShowUI(DWORD id, IOleInPlaceActiveObject* active_object,
                                                 IOleCommandTarget* command_target,
                                                 IOleInPlaceFrame* frame,
                                                 IOleInPlaceUIWindow* document) {
  if (default_handler_) {
    return default_handler_->ShowUI(id, active_object, command_target, frame, document);
  }
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::HideUI() {
  return default_handler_ ? default_handler_->HideUI() : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::UpdateUI() {
  return default_handler_ ? default_handler_->UpdateUI() : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::EnableModeless(BOOL enable) {
  return default_handler_ ? default_handler_->EnableModeless(enable) : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::OnDocWindowActivate(BOOL activate) {
  return default_handler_ ? default_handler_->OnDocWindowActivate(activate) : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::OnFrameWindowActivate(BOOL activate) {
  return default_handler_ ? default_handler_->OnFrameWindowActivate(activate) : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                                       BOOL frame_window) {
  return default_handler_ ? default_handler_->ResizeBorder(border, window, frame_window)
                          : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::TranslateAccelerator(LPMSG message,
                                                               const GUID* command_group,
                                                               DWORD command_id) {
  return default_handler_
             ? default_handler_->TranslateAccelerator(message, command_group, command_id)
             : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::GetOptionKeyPath(LPOLESTR* key, DWORD reserved) {
  if (default_handler_) return default_handler_->GetOptionKeyPath(key, reserved);
  ClearOut(key);
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::GetDropTarget(IDropTarget* drop_target,
                                                        IDropTarget** replacement) {
  if (default_handler_) {
    const HRESULT hr = default_handler_->GetDropTarget(drop_target, replacement);
    return hr == S_FALSE ? E_FAIL : hr;
  }
  ClearOut(replacement);
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::GetExternal(IDispatch** external) {
  if (CImpIDispatch* bridge = ScriptBridgeDispatch()) {
    if (!external) return E_POINTER;
    // Asked by the browser's document while the browser lives: the pointer is good now.
    IWebBrowser2* browser = nullptr;
    if (browser_) browser_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
    const HRESULT made = CreatePageExternal(bridge, browser, external);
    if (browser) browser->Release();
    return made;
  }
  if (default_handler_) return default_handler_->GetExternal(external);
  ClearOut(external);
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::TranslateUrl(DWORD translate, LPWSTR url_in,
                                                       LPWSTR* url_out) {
  if (default_handler_) return default_handler_->TranslateUrl(translate, url_in, url_out);
  ClearOut(url_out);
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE CUIHanderlFace::FilterDataObject(IDataObject* data,
                                                           IDataObject** replacement) {
  if (default_handler_) return default_handler_->FilterDataObject(data, replacement);
  ClearOut(replacement);
  return S_FALSE;
}

bool InstallUIHandler(IUnknown* browser, CUIHanderlFace* handler) {
  if (!browser || !handler) return false;
  IOleObject* ole_object = nullptr;
  if (FAILED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole_object))) ||
      !ole_object) {
    return false;
  }
  IOleClientSite* current = nullptr;
  bool installed = false;
  if (SUCCEEDED(ole_object->GetClientSite(&current)) && current) {
    handler->SetDefaultSite(current);
    current->Release();
    installed = SUCCEEDED(ole_object->SetClientSite(handler));
    if (installed) handler->SetBrowser(browser);
  }
  ole_object->Release();
  return installed;
}

}  // namespace fernlite
