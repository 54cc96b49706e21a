// The real table of every unit, put in place by the process entries (and the tests' main)
// before anything else runs. Only the platform side includes this header: it names the
// platform library's tables, which portable code never does.
#pragma once

#include "app/file_version_platform.h"
#include "app/shortcuts_platform.h"
#include "app/startup_platform.h"
#include "app/upgrade_platform.h"
#include "game/guest_link_platform.h"
#include "identity/cipher_platform.h"
#include "identity/client_paths_platform.h"
#include "identity/device_id_platform.h"
#include "identity/md5_platform.h"
#include "net/http_fetch_platform.h"
#include "net/user_agent_platform.h"
#include "platform/files_platform.h"
#include "platform/key_value_store_platform.h"
#include "platform/process_platform.h"
#include "platform/seam.h"
#include "platform/text_platform.h"
#include "skin/drawing_platform.h"

namespace fernlite {

inline void InstallPlatform() {
  InstallTable(NativeTextPlatform());
  InstallTable(NativeFilesPlatform());
  InstallTable(NativeStorePlatform());
  InstallTable(NativeProcessPlatform());
  InstallTable(NativeMd5Platform());
  InstallTable(NativeCipherPlatform());
  InstallTable(getdiskid::NativeDevicePlatform());
  InstallTable(NativeClientPathsPlatform());
  InstallTable(NativeHttpPlatform());
  InstallTable(NativeUserAgentPlatform());
  InstallTable(NativeFileVersionPlatform());
  InstallTable(NativeShortcutsPlatform());
  InstallTable(NativeStartupPlatform());
  InstallTable(NativeUpgradePlatform());
  InstallTable(NativeGuestLinkPlatform());
  InstallTable(NativeDrawingPlatform());
}

}  // namespace fernlite
