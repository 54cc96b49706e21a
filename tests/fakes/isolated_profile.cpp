#include "fakes/isolated_profile.h"

#include "app/run_settings.h"
#include "identity/client_paths.h"
#include "identity/identity_record.h"
#include "platform/files.h"
#include "platform/key_value_store.h"

namespace fernlite::test {

IsolatedProfile::IsolatedProfile() {
  IsolateEnvironment();
  ClearInstallState();
}

IsolatedProfile::~IsolatedProfile() {
  ClearInstallState();
}

void IsolatedProfile::ClearInstallState() {
  const RunSettings defaults;
  std::u16string dir;
  if (GetAppDataClientDir(dir)) {
    RemoveFile(PathAppend(dir, defaults.ExeName));
    RemoveFile(PathAppend(dir, defaults.GameCode + u"_idata.inmk"));
    RemoveFile(PathAppend(dir, defaults.GameCode + u"_mark.mrk"));
  }
  if (GetDriveClientDir(dir)) {
    RemoveFile(PathAppend(dir, defaults.ExeName));
    RemoveFile(PathAppend(dir, defaults.GameCode + u"_idata.inmk"));
  }
  DeleteStoreValue(kIdentityStoreGroup, defaults.GameCode);
}

}  // namespace fernlite::test
