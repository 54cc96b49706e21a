#include <windows.h>

#include "app/file_version.h"
#include "app/run_settings.h"
#include "app/upgrade.h"
#include "app/upgrade_signer.h"
#include "identity/device_id.h"
#include "net/endpoints.h"
#include "net/http_fetch.h"
#include "platform/files.h"
#include "platform/wide_win32.h"

namespace fernlite {

bool RenameFileNoReplace(const std::u16string& from, const std::u16string& to) {
  return MoveFileW(W(from), W(to)) != FALSE;
}

std::optional<std::uint64_t> FileSizeOf(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PrepareNewExecutable(const std::u16string&, const std::u16string&) { return true; }

UpgradeEnvironment PlatformUpgradeEnvironment() {
  UpgradeEnvironment env;
  env.game_code = Settings().GameCode;
  env.description_url = UpgradeDescriptionUrl(PlatformBase(Endpoint::kStatic), env.game_code);
  env.exe_path = GetModulePath();
  env.fetch = [](const std::u16string& url, const std::u16string& path) {
    return Fetch(url, path);
  };
  env.file_version = [](const std::u16string& path) { return FileVersionText(path); };
  env.signer_name = [](const std::u16string& file, const std::u16string&) {
    return VerifiedSignerName(file, {}, {});
  };
  env.rename = [](const std::u16string& from, const std::u16string& to) {
    return RenameFileNoReplace(from, to);
  };
  env.device_id = [] { return getdiskid::GetDeviceIdText(); };
  return env;
}

}  // namespace fernlite
