#include <windows.h>

#include <vector>

#include "app/file_version.h"
#include "app/file_version_platform.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

std::u16string ReadVersion(const std::u16string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(W(path), &handle);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(W(path), 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  return ToU16(HIWORD(info->dwFileVersionMS)) + u"." + ToU16(LOWORD(info->dwFileVersionMS)) + u"." +
         ToU16(HIWORD(info->dwFileVersionLS)) + u"." + ToU16(LOWORD(info->dwFileVersionLS));
}

}  // namespace

const FileVersionPlatform& NativeFileVersionPlatform() {
  static const FileVersionPlatform& table = *new FileVersionPlatform{&ReadVersion};
  return table;
}

}  // namespace fernlite
