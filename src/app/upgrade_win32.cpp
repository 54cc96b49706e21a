#include "app/upgrade_platform.h"
#include "app/upgrade_signer_win32.h"

namespace fernlite {

const UpgradePlatform& NativeUpgradePlatform() {
  static const UpgradePlatform& table = *new UpgradePlatform{
      u"",  // the signature is inside the file
      [](const std::u16string& file, const std::u16string&) { return VerifiedSignerName(file); },
  };
  return table;
}

}  // namespace fernlite
