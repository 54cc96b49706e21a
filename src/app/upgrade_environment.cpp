// The real services behind the upgrade check; only the signer lookup differs per platform.
#include "app/file_version.h"
#include "app/run_settings.h"
#include "app/upgrade.h"
#include "identity/device_id.h"
#include "net/endpoints.h"
#include "net/http_fetch.h"
#include "platform/files.h"

namespace fernlite {

UpgradeEnvironment PlatformUpgradeEnvironment() {
  UpgradeEnvironment env;
  env.game_code = Settings().GameCode;
  env.description_url = UpgradeDescriptionUrl(PlatformBase(Endpoint::kStatic), env.game_code);
  env.exe_path = GetModulePath();
  env.fetch = [](const std::u16string& url, const std::u16string& path) {
    return Fetch(url, path);
  };
  env.file_version = [](const std::u16string& path) { return FileVersionText(path); };
  env.signer_name = [](const std::u16string& file, const std::u16string& url) {
    return DownloadSignerName(file, url);
  };
  env.rename = [](const std::u16string& from, const std::u16string& to) {
    return RenameFileNoReplace(from, to);
  };
  env.device_id = [] { return getdiskid::GetDeviceIdText(); };
  return env;
}

}  // namespace fernlite
