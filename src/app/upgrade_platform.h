// What the upgrade check needs from the system: who signed a downloaded executable.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace fernlite {

struct UpgradePlatform {
  static constexpr const char* kUnit = "upgrade";
  // Where the signature travels: empty when it is inside the executable (Windows
  // Authenticode), else the suffix of a detached signature beside it (Linux: ".p7s", fetched
  // from the executable's address plus the suffix into its path plus the suffix).
  std::u16string signature_suffix;
  // The simple display name (common name) of the signer as ANSI bytes, only when the
  // signature covers the file, the signer may sign code and its chain ends in a trusted root
  // without errors; nullopt otherwise.
  std::function<std::optional<std::string>(const std::u16string& file,
                                           const std::u16string& signature_file)>
      signer_name;
  // Whether a running executable can be replaced by renaming over it (Linux: the process keeps
  // the old file open). Then the swap is one atomic rename; else the executable is moved aside
  // to ".o" first and the new one moved in.
  bool replace_running_in_place = false;
};

const UpgradePlatform& NativeUpgradePlatform();

}  // namespace fernlite
