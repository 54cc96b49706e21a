// The game browser's event sink: a DWebBrowserEvents2 dispinterface that takes NewWindow3 only,
// so no page of the game ever opens a browser window of its own.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oaidl.h>

#include <functional>
#include <string_view>

#include "platform/handles_win32.h"

namespace fernlite {

inline constexpr DISPID kDispidNewWindow3 = 273;

class BrowserEventSink final : public IDispatch {
 public:
  // Receives the target address of every well-formed NewWindow3 request; the request is then
  // cancelled whatever the handler does.
  using NewWindowHandler = std::function<void(std::u16string_view target)>;

  // Created with one reference, which the creator owns.
  explicit BrowserEventSink(NewWindowHandler handler);
  BrowserEventSink(const BrowserEventSink&) = delete;
  BrowserEventSink& operator=(const BrowserEventSink&) = delete;

  // Advises the source's DWebBrowserEvents2 connection point; one connection at a time.
  HRESULT Connect(IUnknown* source);
  // Unadvises and drops the handler: after this no request reaches anybody.
  void Disconnect();
  bool Connected() const { return cookie_ != 0; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override;

 private:
  ~BrowserEventSink();

  volatile LONG reference_count_ = 1;
  NewWindowHandler handler_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace fernlite
