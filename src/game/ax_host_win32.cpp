#include "game/ax_host_win32.h"

#include <ocidl.h>
#include <olectl.h>

#include <utility>

#include "game/standard_dialog.h"
#include "platform/handles_win32.h"

namespace fernlite {
namespace {

UINT g_get_host_message = 0;
UINT g_get_control_message = 0;

constexpr long kHimetricPerInch = 2540;
constexpr VARIANT_BOOL kTrue = VARIANT_TRUE;
constexpr VARIANT_BOOL kFalse = VARIANT_FALSE;
// OLE_COLOR of a system colour index.
constexpr LONG kSystemColour = static_cast<LONG>(0x80000000u);

template <class T>
void Clear(T** out) {
  if (out) *out = nullptr;
}

SIZEL PixelsToHimetric(const RECT& rect) {
  HDC screen = GetDC(nullptr);
  const int dpi_x = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  const int dpi_y = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return SIZEL{MulDiv(rect.right - rect.left, kHimetricPerInch, dpi_x > 0 ? dpi_x : 96),
               MulDiv(rect.bottom - rect.top, kHimetricPerInch, dpi_y > 0 ? dpi_y : 96)};
}

// Everything the host offers its control. The window holds one reference; the control holds
// more through its client site. Once the window is gone the site answers nothing that needs
// the window, so a control that calls late finds no dangling state.
class AxSite final : public IOleClientSite,
                     public IOleInPlaceSite,
                     public IOleControlSite,
                     public IDispatch {
 public:
  explicit AxSite(HWND window) : window_(window), frame_(*this) {}
  AxSite(const AxSite&) = delete;
  AxSite& operator=(const AxSite&) = delete;

  IUnknown* Identity() { return static_cast<IOleClientSite*>(this); }
  IUnknown* Control() const { return control_.get(); }
  bool InPlaceActive() const { return in_place_active_; }

  HRESULT Attach(IUnknown* control) {
    if (!control || !window_) return E_INVALIDARG;
    ComPtr<IOleObject> ole_object;
    const HRESULT hr = control->QueryInterface(IID_IOleObject, ole_object.put_void());
    if (FAILED(hr) || !ole_object) return FAILED(hr) ? hr : E_NOINTERFACE;
    Detach();
    control->AddRef();
    control_ = ComPtr<IUnknown>(control);
    ole_object_ = std::move(ole_object);

    DWORD misc = 0;
    if (FAILED(ole_object_->GetMiscStatus(DVASPECT_CONTENT, &misc))) misc = 0;
    const bool site_first = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (site_first) ole_object_->SetClientSite(this);
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(control_->QueryInterface(IID_IPersistStreamInit, persist.put_void())) &&
        persist) {
      persist->InitNew();
    }
    if (!site_first) ole_object_->SetClientSite(this);

    RECT rect{};
    GetClientRect(window_, &rect);
    SIZEL extent = PixelsToHimetric(rect);
    ole_object_->SetExtent(DVASPECT_CONTENT, &extent);
    return Activate();
  }

  HRESULT Activate() {
    if (!ole_object_ || !window_) return E_UNEXPECTED;
    RECT rect{};
    GetClientRect(window_, &rect);
    return ole_object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &rect);
  }

  // Deactivate, leave the client site, close: the control lets go of this site and of its
  // windows before the host releases it.
  void Detach() {
    active_object_.reset();
    // Taken out first: the control may report its deactivation to this site meanwhile.
    if (ComPtr<IOleInPlaceObject> in_place = std::move(in_place_)) in_place->InPlaceDeactivate();
    in_place_active_ = false;
    if (ComPtr<IOleObject> ole_object = std::move(ole_object_)) {
      ole_object->SetClientSite(nullptr);
      ole_object->Close(OLECLOSE_NOSAVE);
    }
    control_.reset();
  }

  void WindowGone() {
    Detach();
    window_ = nullptr;
  }

  void Resize() {
    if (!window_) return;
    RECT rect{};
    GetClientRect(window_, &rect);
    if (in_place_) {
      in_place_->SetObjectRects(&rect, &rect);
    } else if (ole_object_) {
      SIZEL extent = PixelsToHimetric(rect);
      ole_object_->SetExtent(DVASPECT_CONTENT, &extent);
    }
  }

  void Focus() {
    if (!in_place_) return;
    HWND control = nullptr;
    if (SUCCEEDED(in_place_->GetWindow(&control)) && control && IsWindow(control)) {
      HWND focus = GetFocus();
      if (focus != control && !IsChild(control, focus)) SetFocus(control);
    }
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleControlSite)) {
      *object = static_cast<IOleControlSite*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    Clear(moniker);
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    Clear(container);
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return window_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    if (!window_ || !control_) return E_UNEXPECTED;
    in_place_active_ = true;
    if (!in_place_) control_->QueryInterface(IID_IOleInPlaceObject, in_place_.put_void());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    Clear(frame);
    Clear(doc);  // the frame is the document window too
    if (!frame || !doc || !position || !clip) return E_POINTER;
    if (!window_) return E_FAIL;
    frame_.AddRef();
    *frame = &frame_;
    GetClientRect(window_, position);
    *clip = *position;
    if (info) {  // cb is the caller's
      info->fMDIApp = FALSE;
      info->hwndFrame = GetAncestor(window_, GA_ROOT);
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override {
    active_object_.reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    in_place_active_ = false;
    // Not released while it is still calling: the control keeps itself alive meanwhile.
    ComPtr<IOleInPlaceObject> in_place = std::move(in_place_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override {
    return in_place_ ? in_place_->UIDeactivate() : S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override {
    if (!position) return E_POINTER;
    if (in_place_) in_place_->SetObjectRects(position, position);
    return S_OK;
  }

  // IOleControlSite
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** extended) override {
    Clear(extended);
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties, read-only.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    Clear(info);
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    if (ids) {
      for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (!result) return E_POINTER;
    VariantInit(result);
    switch (id) {
      case DISPID_AMBIENT_USERMODE:
      case DISPID_AMBIENT_AUTOCLIP: return Bool(result, kTrue);
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_DISPLAYASDEFAULT:
      case DISPID_AMBIENT_MESSAGEREFLECT:
      case DISPID_AMBIENT_SUPPORTSMNEMONICS: return Bool(result, kFalse);
      case DISPID_AMBIENT_LOCALEID: return Long(result, static_cast<LONG>(GetUserDefaultLCID()));
      case DISPID_AMBIENT_BACKCOLOR: return Long(result, kSystemColour | COLOR_WINDOW);
      case DISPID_AMBIENT_FORECOLOR: return Long(result, kSystemColour | COLOR_WINDOWTEXT);
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  // The frame (and document window) of the in-place control. Part of the site: its
  // references are the site's.
  class Frame final : public IOleInPlaceFrame {
   public:
    explicit Frame(AxSite& site) : site_(site) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
      if (!object) return E_POINTER;
      *object = nullptr;
      if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IOleWindow) &&
          !IsEqualIID(riid, IID_IOleInPlaceUIWindow) && !IsEqualIID(riid, IID_IOleInPlaceFrame)) {
        return E_NOINTERFACE;
      }
      *object = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return site_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return site_.Release(); }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
      if (!window) return E_POINTER;
      *window = site_.window_ ? GetAncestor(site_.window_, GA_ROOT) : nullptr;
      return *window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // No toolbars: the control gets no border space.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
      return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
      // Not kept from a control the host has let go of: that would hold it for good.
      if (object && !site_.control_) return E_UNEXPECTED;
      if (object) object->AddRef();
      site_.active_object_ = ComPtr<IOleInPlaceActiveObject>(object);
      return S_OK;
    }
    // No menus.
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS widths) override {
      if (widths) {
        for (LONG& width : widths->width) width = 0;
      }
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

   private:
    AxSite& site_;
  };

  ~AxSite() {
    // Held so that calls the control makes while it lets go cannot delete this a second time.
    references_ = 1;
    Detach();
  }

  static HRESULT Bool(VARIANT* result, VARIANT_BOOL value) {
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = value;
    return S_OK;
  }
  static HRESULT Long(VARIANT* result, LONG value) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
    return S_OK;
  }

  volatile LONG references_ = 0;
  HWND window_;
  Frame frame_;
  ComPtr<IUnknown> control_;
  ComPtr<IOleObject> ole_object_;
  ComPtr<IOleInPlaceObject> in_place_;
  ComPtr<IOleInPlaceActiveObject> active_object_;
  bool in_place_active_ = false;
};

AxSite* SiteOf(HWND window) {
  if (!window || !IsWindow(window)) return nullptr;
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return nullptr;
  wchar_t name[32] = {};
  if (!GetClassNameW(window, name, static_cast<int>(sizeof name / sizeof name[0]))) {
    return nullptr;
  }
  if (lstrcmpiW(name, kAxHostClass) != 0 && lstrcmpiW(name, kAxHostLicensedClass) != 0) {
    return nullptr;
  }
  return reinterpret_cast<AxSite*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A control named by the window text: a class identifier in braces or a program identifier.
HRESULT CreateNamedControl(AxSite& site, const wchar_t* name) {
  CLSID clsid{};
  HRESULT hr = name[0] == L'{' ? CLSIDFromString(name, &clsid) : CLSIDFromProgID(name, &clsid);
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> control;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
  if (FAILED(hr)) return hr;
  return site.Attach(control.get());
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* site = new AxSite(window);
    site->AddRef();
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* site = reinterpret_cast<AxSite*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!site) return DefWindowProcW(window, message, wparam, lparam);

  if (message != 0 && message == g_get_host_message) {
    return reinterpret_cast<LRESULT>(site->Identity());
  }
  if (message != 0 && message == g_get_control_message) {
    return reinterpret_cast<LRESULT>(site->Control());
  }
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      const wchar_t* name = create ? create->lpszName : nullptr;
      if (name && name[0] && FAILED(CreateNamedControl(*site, name))) return -1;
      return 0;
    }
    case WM_SIZE: site->Resize(); return 0;
    case WM_SETFOCUS: site->Focus(); return 0;
    case WM_ERASEBKGND:
      if (site->InPlaceActive()) return 1;  // the control covers it all
      break;
    case WM_DESTROY: site->WindowGone(); return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      site->WindowGone();
      site->Release();
      return DefWindowProcW(window, message, wparam, lparam);
    default: break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool ClassRegistered(const wchar_t* name) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  return GetClassInfoExW(GetModuleHandleW(nullptr), name, &existing) != FALSE;
}

bool RegisterHostClass(const wchar_t* name) {
  if (ClassRegistered(name)) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = &HostProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = name;
  return RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

bool RegisterAxHostClasses() {
  if (!g_get_host_message) g_get_host_message = RegisterWindowMessageW(L"WM_ATLGETHOST");
  if (!g_get_control_message) g_get_control_message = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
  const bool host = RegisterHostClass(kAxHostClass);
  const bool licensed = RegisterHostClass(kAxHostLicensedClass);
  return host && licensed && g_get_host_message && g_get_control_message;
}

void UnregisterAxHostClasses() {
  UnregisterClassW(kAxHostClass, GetModuleHandleW(nullptr));
  UnregisterClassW(kAxHostLicensedClass, GetModuleHandleW(nullptr));
}

UINT AxGetHostMessage() {
  return g_get_host_message;
}

UINT AxGetControlMessage() {
  return g_get_control_message;
}

HRESULT AxAttachControl(IUnknown* control, HWND host) {
  AxSite* site = SiteOf(host);
  if (!site) return E_INVALIDARG;
  if (!control) return E_POINTER;
  return site->Attach(control);
}

HRESULT AxActivateInPlace(HWND host) {
  AxSite* site = SiteOf(host);
  return site ? site->Activate() : E_INVALIDARG;
}

bool AxIsInPlaceActive(HWND host) {
  AxSite* site = SiteOf(host);
  return site && site->InPlaceActive();
}

bool AxTranslateAccelerator(IUnknown* control, MSG* message) {
  if (!control || !message || !IsBrowserKeyMessage(message->message)) return false;
  ComPtr<IOleInPlaceActiveObject> active;
  if (FAILED(control->QueryInterface(IID_IOleInPlaceActiveObject, active.put_void())) || !active) {
    return false;
  }
  return active->TranslateAccelerator(message) == S_OK;
}

HRESULT AxGetHost(HWND host, IUnknown** site) {
  if (!site) return E_POINTER;
  *site = nullptr;
  if (!SiteOf(host) || !g_get_host_message) return E_FAIL;
  auto* found = reinterpret_cast<IUnknown*>(SendMessageW(host, g_get_host_message, 0, 0));
  if (!found) return E_FAIL;
  found->AddRef();
  *site = found;
  return S_OK;
}

HRESULT AxGetControl(HWND host, IUnknown** control) {
  if (!control) return E_POINTER;
  *control = nullptr;
  if (!SiteOf(host) || !g_get_control_message) return E_FAIL;
  auto* found = reinterpret_cast<IUnknown*>(SendMessageW(host, g_get_control_message, 0, 0));
  if (!found) return E_FAIL;
  found->AddRef();
  *control = found;
  return S_OK;
}

}  // namespace fernlite
