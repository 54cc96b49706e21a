#include <windows.h>

#include <vector>

#include "net/endpoints.h"
#include "platform/wide_win32.h"

namespace fernlite {

std::optional<std::u16string> PlatformOverride() {
  const DWORD needed = GetEnvironmentVariableW(L"FERNLITE_PLATFORM", nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::vector<wchar_t> buffer(needed);
  const DWORD length = GetEnvironmentVariableW(L"FERNLITE_PLATFORM", buffer.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  return FromWide(buffer.data(), length);
}

}  // namespace fernlite
