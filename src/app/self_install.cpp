#include "app/self_install.h"

#include "app/file_version.h"
#include "identity/client_paths.h"
#include "identity/identity_record.h"
#include "net/report.h"
#include "platform/files.h"
#include "platform/process.h"

namespace fernlite {
namespace {

bool ChosenClientDir(ClientDir which, std::u16string& dir) {
  const bool found =
      which == ClientDir::kAppData ? GetAppDataClientDir(dir) : GetDriveClientDir(dir);
  if (!found) dir.clear();
  return found && !dir.empty();
}

}  // namespace

std::u16string RelaunchParameters(std::u16string_view shortcut_arguments,
                                  std::u16string_view own_path, std::u16string_view icon_label) {
  return std::u16string(shortcut_arguments) + u" /D " + QuoteArgument(own_path) + u" /IB " +
         QuoteArgument(icon_label);
}

int SelfInstall(ClientDir which, bool run_after_install, RunSettings& settings) {
  std::u16string dir;
  const bool have_dir = ChosenClientDir(which, dir);
  settings.InstallDir = dir;
  if (!have_dir) return kInstallFailed;

  const std::u16string own_path = GetModulePath();
  if (own_path.empty()) return kInstallFailed;
  if (PathDirectory(own_path) == settings.InstallDir) return kAlreadyInstalled;
  if (!CreateDirectories(settings.InstallDir)) return kInstallFailed;

  const std::u16string installed = PathAppend(settings.InstallDir, settings.ExeName);
  const std::u16string version = FileVersionText(own_path);
  CIdentityRecord record(settings.GameCode, settings.ChannelID, settings.SubChannelID, version,
                         settings.ExeName, which == ClientDir::kAppData);
  // Both answers describe the machine before this copy lands.
  const bool loaded = record.Load();
  const int install_count = record.GetInstallCount();

  if (!CopyFileReplacing(own_path, installed)) return kInstallFailed;
  QueueReport(loaded && install_count == 0 ? u"44" : u"50");
  record.Save();

  const std::u16string arguments = CreateShortcuts(installed, settings, UserShortcutFolders());
  const std::u16string parameters =
      RelaunchParameters(arguments, own_path, settings.CreatedShortcutName);
  if (run_after_install) {
    // The installed copy sends its own start report; the install's goes out before it.
    DrainReports();
    StartProgram(installed, parameters);
  }
  return kInstalled;
}

}  // namespace fernlite
