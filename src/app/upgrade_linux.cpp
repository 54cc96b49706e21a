#include "app/upgrade_platform.h"
#include "app/upgrade_signer_linux.h"
#include "build_config.h"

namespace fernlite {

const UpgradePlatform& NativeUpgradePlatform() {
  static const UpgradePlatform& table = *new UpgradePlatform{
      u".p7s",
      [](const std::u16string& file, const std::u16string& signature) {
        return VerifiedSignerName(file, signature, build::kUpgradeCaFile);
      },
      true,
  };
  return table;
}

}  // namespace fernlite
