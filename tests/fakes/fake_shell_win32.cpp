#include "fakes/fake_shell_win32.h"

#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "skin/icon_bubble_win32.h"

namespace fernlite::test {
namespace {

// The list view's accessible client, over a copy of the icons of the moment: its icons are simple
// children 1..n, with one object child in front that the finder must step over.
class IconsAccessible final : public IAccessible {
 public:
  explicit IconsAccessible(std::vector<DesktopIcon> icons) : icons_(std::move(icons)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    *parent = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    *count = static_cast<long>(icons_.size()) + 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    *out = nullptr;
    if (child.vt == VT_I4 && child.lVal == 1) {  // the object child
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    *name = nullptr;
    const DesktopIcon* icon = Find(child);
    if (!icon) return E_INVALIDARG;
    *name = SysAllocString(icon->name.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR*, VARIANT, long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    const DesktopIcon* icon = Find(child);
    if (!icon) return E_INVALIDARG;
    *left = icon->rect.left;
    *top = icon->rect.top;
    *width = icon->rect.right - icon->rect.left;
    *height = icon->rect.bottom - icon->rect.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accHitTest(long, long, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  // Child 1 is the object; icons are children 2..n+1.
  const DesktopIcon* Find(const VARIANT& child) const {
    if (child.vt != VT_I4 || child.lVal < 2) return nullptr;
    const size_t index = static_cast<size_t>(child.lVal - 2);
    return index < icons_.size() ? &icons_[index] : nullptr;
  }
  const std::vector<DesktopIcon> icons_;
  std::atomic<ULONG> references_{1};
};

constexpr wchar_t kShellProperty[] = L"FernliteFakeShell";

LRESULT CALLBACK ListViewProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_GETOBJECT && static_cast<LONG>(lparam) == OBJID_CLIENT) {
    auto* shell = static_cast<FakeShell*>(GetPropW(window, kShellProperty));
    if (!shell) return 0;
    auto* accessible = new IconsAccessible(shell->Icons());
    const LRESULT result = LresultFromObject(IID_IAccessible, wparam, accessible);
    accessible->Release();
    return result;
  }
  if (message == WM_NCDESTROY) RemovePropW(window, kShellProperty);
  return DefWindowProcW(window, message, wparam, lparam);
}

void Register(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = name;
  RegisterClassW(&window_class);
}

}  // namespace

FakeShell::FakeShell(Tree tree, std::vector<DesktopIcon> icons) : icons_(std::move(icons)) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this, tree, ready] { Run(tree, ready); });
  WaitForSingleObject(ready, 10000);
  CloseHandle(ready);
}

FakeShell::~FakeShell() {
  if (thread_id_) PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

void FakeShell::Run(Tree tree, HANDLE ready) {
  // The accessible object is marshalled into the caller's apartment.
  CoInitialize(nullptr);
  Register(L"progman", DefWindowProcW);
  Register(L"WorkerW", DefWindowProcW);
  Register(L"SHELLDLL_DefView", DefWindowProcW);
  Register(L"SysListView32", ListViewProcedure);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Small and in a corner, out of the bubble's way, but visible: the finder asks.
  auto top = [&](const wchar_t* cls, const wchar_t* title) {
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, cls, title, WS_POPUP | WS_VISIBLE, 0, 0, 4, 4,
                                  nullptr, nullptr, instance, nullptr);
    windows_.push_back(window);
    return window;
  };
  auto child = [&](HWND parent, const wchar_t* cls, const wchar_t* title) {
    return CreateWindowExW(0, cls, title, WS_CHILD | WS_VISIBLE, 0, 0, 4, 4, parent, nullptr,
                           instance, nullptr);
  };
  if (tree == Tree::kProgman) {
    HWND root = top(L"progman", L"Program Manager");
    list_ = child(child(root, L"SHELLDLL_DefView", L""), L"SysListView32", L"FolderView");
  } else {
    // A titled one and an empty one come first; only the untitled one holding a view counts.
    child(child(top(L"WorkerW", L"titled"), L"SHELLDLL_DefView", L""), L"SysListView32",
          L"FolderView");
    top(L"WorkerW", L"");
    list_ = child(child(top(L"WorkerW", L""), L"SHELLDLL_DefView", L""), L"SysListView32",
                  L"FolderView");
  }
  SetPropW(list_, kShellProperty, this);
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before we say so
  thread_id_ = GetCurrentThreadId();
  SetEvent(ready);
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  for (HWND window : windows_) DestroyWindow(window);
  CoUninitialize();
}

void FakeShell::SetIcons(std::vector<DesktopIcon> icons) {
  std::lock_guard lock(mutex_);
  icons_ = std::move(icons);
}

void FakeShell::AddIcon(DesktopIcon icon) {
  std::lock_guard lock(mutex_);
  icons_.push_back(std::move(icon));
}

void FakeShell::MoveIcon(const std::wstring& name, RECT rect) {
  std::lock_guard lock(mutex_);
  for (DesktopIcon& icon : icons_)
    if (icon.name == name) icon.rect = rect;
}

void FakeShell::RemoveIcon(const std::wstring& name) {
  std::lock_guard lock(mutex_);
  std::erase_if(icons_, [&](const DesktopIcon& icon) { return icon.name == name; });
}

std::vector<DesktopIcon> FakeShell::Icons() const {
  std::lock_guard lock(mutex_);
  return icons_;
}

HWND WaitForBubbleWindow(DWORD ms) {
  for (const DWORD start = GetTickCount();;) {
    HWND window = FindWindowW(kBubbleWindowClass, L"Win32 API");
    if (window && IsWindowVisible(window)) return window;
    if (GetTickCount() - start >= ms) return nullptr;
    Sleep(10);
  }
}

}  // namespace fernlite::test
