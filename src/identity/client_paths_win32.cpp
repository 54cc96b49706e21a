#include <windows.h>
#include <shlobj.h>

#include "identity/client_paths.h"
#include "identity/client_paths_platform.h"
#include "platform/files.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

std::optional<std::u16string> Environment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::nullopt;  // missing, or longer than the buffer
  return FromWide(buffer, n);
}

std::optional<std::u16string> AppDataDir() {
  std::optional<std::u16string> folder;
  wchar_t buffer[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, buffer))) {
    folder = FromWide(buffer);
  }
  return PickAppDataDir(folder, Environment(L"USERPROFILE"), u"Application Data",
                        Environment(L"ProgramFiles"));
}

std::optional<std::u16string> DriveClientDir() {
  wchar_t buffer[520];
  const UINT n = GetSystemDirectoryW(buffer, 520);
  if (n == 0 || n >= 520) return std::nullopt;
  return PathAppend(std::u16string(1, static_cast<char16_t>(buffer[0])) + u":", u"Fernhall");
}

}  // namespace

const ClientPathsPlatform& NativeClientPathsPlatform() {
  static const ClientPathsPlatform& table = *new ClientPathsPlatform{&AppDataDir, &DriveClientDir};
  return table;
}

}  // namespace fernlite
