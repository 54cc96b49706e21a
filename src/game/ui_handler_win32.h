// Client site of every embedded browser: decides the context menu, the border and scroll bars,
// and window.external; everything else goes to the site the browser had before.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <mshtmhst.h>

namespace fernlite {

class CUIHanderlFace : public IOleClientSite, public IDocHostUIHandler {
 public:
  CUIHanderlFace() = default;
  CUIHanderlFace(const CUIHanderlFace&) = delete;
  CUIHanderlFace& operator=(const CUIHanderlFace&) = delete;

  // IUnknown, shared by both interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

  virtual ~CUIHanderlFace();

  // IDocHostUIHandler
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* command_target,
                                            IDispatch* object) override;
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* active_object,
                                   IOleCommandTarget* command_target, IOleInPlaceFrame* frame,
                                   IOleInPlaceUIWindow* document) override;
  HRESULT STDMETHODCALLTYPE HideUI() override;
  HRESULT STDMETHODCALLTYPE UpdateUI() override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frame_window) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID* command_group,
                                                 DWORD command_id) override;
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* drop_target,
                                          IDropTarget** replacement) override;
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR url_in, LPWSTR* url_out) override;
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* data, IDataObject** replacement) override;

  // Keeps a reference to the browser's previous site and to its IDocHostUIHandler, if any.
  // A null site is ignored.
  void SetDefaultSite(IOleClientSite* site);

  // The browser this handler is the site of, for window.external's check of the page; not
  // owned (the browser holds the handler).
  void SetBrowser(IUnknown* browser) { browser_ = browser; }

  IOleClientSite* default_site() const { return default_site_; }
  IDocHostUIHandler* default_handler() const { return default_handler_; }

 private:
  volatile LONG reference_count_ = 0;
  IOleClientSite* default_site_ = nullptr;
  IDocHostUIHandler* default_handler_ = nullptr;
  IUnknown* browser_ = nullptr;
};

// Makes the handler the browser's client site, with the browser's current site as its
// default. True when installed; without IOleObject or a current site the browser keeps its
// own site.
bool InstallUIHandler(IUnknown* browser, CUIHanderlFace* handler);

}  // namespace fernlite
