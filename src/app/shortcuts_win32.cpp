#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/shortcuts.h"
#include "app/shortcuts_platform.h"
#include "platform/handles_win32.h"
#include "platform/files.h"
#include "platform/wide_win32.h"

namespace fernlite {

namespace {

std::optional<std::u16string> ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return std::nullopt;
  }
  return FromWide(buffer);
}

ShortcutFolders UserFolders() {
  return {ShellFolder(CSIDL_DESKTOP), ShellFolder(CSIDL_STARTUP)};
}

std::u16string ReadArguments(const std::u16string& shortcut_path) {
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

bool Write(const std::u16string& target, const std::u16string& shortcut_path,
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

}  // namespace

const ShortcutsPlatform& NativeShortcutsPlatform() {
  static const ShortcutsPlatform& table =
      *new ShortcutsPlatform{u".lnk", &UserFolders, &ReadArguments, &Write};
  return table;
}

}  // namespace fernlite
