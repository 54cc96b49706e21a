#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/shortcuts.h"
#include "platform/files.h"
#include "platform/wide_win32.h"

namespace fernlite {

const char16_t kShortcutExtension[] = u".lnk";

namespace {

// Releases a COM interface pointer at scope end.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (ptr_) ptr_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return ptr_; }
  T** put() { return &ptr_; }
  void** put_void() { return reinterpret_cast<void**>(&ptr_); }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

std::optional<std::u16string> ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return std::nullopt;
  }
  return FromWide(buffer);
}

}  // namespace

ShortcutFolders UserShortcutFolders() {
  return {ShellFolder(CSIDL_DESKTOP), ShellFolder(CSIDL_STARTUP)};
}

std::u16string ReadShortcutArguments(const std::u16string& shortcut_path) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.put_void()))) {
    return {};
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Load(W(shortcut_path), STGM_READ))) {
    return {};
  }
  // No user interface, and no rewriting of the file while it is only being read.
  if (FAILED(link->Resolve(nullptr, SLR_NO_UI | SLR_NOUPDATE))) return {};
  wchar_t arguments[MAX_PATH] = {};
  if (FAILED(link->GetArguments(arguments, MAX_PATH))) return {};
  arguments[MAX_PATH - 1] = L'\0';
  return FromWide(arguments);
}

bool WriteShortcut(const std::u16string& target, const std::u16string& shortcut_path,
                   const std::u16string& arguments) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.put_void()))) {
    return false;
  }
  const std::u16string directory = PathDirectory(target);
  link->SetPath(W(target));
  link->SetArguments(W(arguments));
  link->SetIconLocation(W(target), 1);
  link->SetWorkingDirectory(W(directory));
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
  // A shortcut that was not saved must not be named as created: the bubble would point at
  // an icon that is not there.
  return SUCCEEDED(file->Save(W(shortcut_path), TRUE));
}

}  // namespace fernlite
