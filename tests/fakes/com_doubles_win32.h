// Small Windows doubles shared by the window tests.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <vector>

#include "platform/handles_win32.h"
#include "skin/drawing_win32.h"

namespace fernlite::test {

// Same COM object: compared through IUnknown.
inline bool SameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return false;
  ComPtr<IUnknown> ua, ub;
  a->QueryInterface(IID_IUnknown, ua.put_void());
  b->QueryInterface(IID_IUnknown, ub.put_void());
  return ua && ua.get() == ub.get();
}

// The accelerator half of an in-place object: records every message offered to it and answers
// with `answer`. The subclass brings IUnknown.
class AcceleratorRecorder : public IOleInPlaceActiveObject {
 public:
  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override {
    offered.push_back(message->message);
    return answer;
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }

  HRESULT answer = S_OK;
  std::vector<UINT> offered;
};

// A memory device context drawing into a surface's pixels.
class SurfaceDC {
 public:
  explicit SurfaceDC(const Image& surface)
      : dc_(CreateCompatibleDC(nullptr)), old_(SelectObject(dc_, SurfaceBitmap(surface))) {}
  SurfaceDC(const SurfaceDC&) = delete;
  SurfaceDC& operator=(const SurfaceDC&) = delete;
  ~SurfaceDC() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace fernlite::test
