// Small Windows doubles shared by the window tests.
#pragma once

#include <exdisp.h>
#include <ole2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>
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

// The WebBrowser control inside an object of the test's own (COM aggregation): the browser's
// references all count here, and the accelerators offered to it are recorded.
class RecordingOuter : public test::AcceleratorRecorder {
 public:
  RecordingOuter() = default;
  RecordingOuter(const RecordingOuter&) = delete;
  RecordingOuter& operator=(const RecordingOuter&) = delete;
  ~RecordingOuter() { EXPECT_EQ(inner_, nullptr) << "browser still referenced"; }

  HRESULT Create(IWebBrowser2** browser) {
    HRESULT hr =
        CoCreateInstance(CLSID_WebBrowser, static_cast<IUnknown*>(this), CLSCTX_INPROC_SERVER,
                         IID_IUnknown, reinterpret_cast<void**>(&inner_));
    if (FAILED(hr)) return hr;
    return QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
      *out = static_cast<IOleInPlaceActiveObject*>(this);
      AddRef();
      return S_OK;
    }
    return inner_ ? inner_->QueryInterface(riid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --references;
    if (count == 0 && inner_) {
      references = 1;  // the browser's own clean-up may call back
      std::exchange(inner_, nullptr)->Release();
      references = 0;
    }
    return count;
  }
  ULONG references = 1;  // the test's own

 private:
  IUnknown* inner_ = nullptr;
};

// Dispatches what is queued, for at least `milliseconds`; a WM_QUIT is dropped.
inline void Pump(DWORD milliseconds = 0) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (milliseconds) Sleep(10);
  } while (GetTickCount() - start < milliseconds);
}

// Takes pending messages off the queue; the WM_QUIT code among them, -1 when there was none.
inline int TakeQuit() {
  MSG message;
  int code = -1;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      code = static_cast<int>(message.wParam);
    } else {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return code;
}

// Real pointer input at screen coordinates.
inline void MouseTo(int x, int y) {
  SetCursorPos(x, y);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  SendInput(1, &input, sizeof input);
}

inline void MouseButton(bool down) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
}

// A left click at a screen point, the pointer put there first (no move event of its own).
inline void Click(POINT screen_point) {
  SetCursorPos(screen_point.x, screen_point.y);
  INPUT inputs[2] = {};
  inputs[0].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].type = INPUT_MOUSE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace fernlite::test
