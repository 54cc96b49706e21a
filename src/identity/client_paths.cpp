#include "identity/client_paths.h"

#include "identity/client_paths_platform.h"
#include "platform/files.h"
#include "platform/seam.h"

namespace fernlite {
namespace {

// Paths longer than MAX_PATH never worked with the fixed buffers of the Windows calls.
constexpr size_t kMaxPath = 260;

bool Usable(const std::optional<std::u16string>& text) {
  return text && !text->empty() && text->size() < kMaxPath;
}

}  // namespace

std::optional<std::u16string> PickAppDataDir(const std::optional<std::u16string>& platform_folder,
                                             const std::optional<std::u16string>& user_profile,
                                             std::u16string_view profile_suffix,
                                             const std::optional<std::u16string>& last_resort) {
  if (Usable(platform_folder)) return platform_folder;
  if (Usable(user_profile)) return PathAppend(*user_profile, profile_suffix);
  if (Usable(last_resort)) return last_resort;
  return std::nullopt;
}

bool GetAppDataDir(std::u16string& out) {
  const std::optional<std::u16string> dir = Platform<ClientPathsPlatform>().app_data_dir();
  if (!dir) return false;
  out = *dir;
  return true;
}

bool GetDriveClientDir(std::u16string& out) {
  const std::optional<std::u16string> dir = Platform<ClientPathsPlatform>().drive_client_dir();
  if (!dir) return false;
  out = *dir;
  return true;
}

bool GetAppDataClientDir(std::u16string& out) {
  std::u16string base;
  if (!GetAppDataDir(base)) return false;
  out = PathAppend(PathAppend(base, u"Larkway"), u"Fernhall");
  return true;
}

}  // namespace fernlite
