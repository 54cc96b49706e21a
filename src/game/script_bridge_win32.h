// window.external for the Windows browser control: IDispatch over the portable dispatch.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <oaidl.h>

#include "game/script_bridge.h"

namespace fernlite {

// The bridge itself on Windows: the portable dispatch with the automation face the browser
// control calls.
class CImpIDispatch final : public ScriptBridge, public IDispatch {
 public:
  explicit CImpIDispatch(RunSettings& settings);
  CImpIDispatch(const CImpIDispatch&) = delete;
  CImpIDispatch& operator=(const CImpIDispatch&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  // Bookkeeping only: the start-up sequence owns the object, never its last Release.
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT name_count,
                                          LCID locale, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  ULONG reference_count() const { return reference_count_; }

 private:
  ULONG reference_count_ = 0;
};

// window.external as the pages of one browser see it: the bridge, while the browser's
// top-level document is one of the platform's own; any other page is refused
// (E_ACCESSDENIED) and changes nothing. Plain Invoke does not tell which frame calls, so there
// a frame is judged by the page it is in; through IDispatchEx::InvokeEx the caller's window is
// read too, and a frame at an address that is not the platform's is refused. Holds a reference
// to the browser (null: every call refused) and one on the bridge; S_OK with the object or a
// failure.
HRESULT CreatePageExternal(CImpIDispatch* bridge, IWebBrowser2* browser, IDispatch** external);

// Makes the process's bridge (script_bridge.h) as a CImpIDispatch.
CImpIDispatch* CreateScriptBridge();
// The process's bridge as the browser control sees it; null while there is none.
CImpIDispatch* ScriptBridgeDispatch();

// The launcher window as a handle: the start-the-game request becomes a synchronous
// WM_USER + 1 with both parameters 0. A handle of a destroyed window simply receives nothing.
void SetLauncherWindowHandle(HWND window);
HWND LauncherWindowHandle();

}  // namespace fernlite
