#include "app/self_install.h"

#include "identity/client_paths.h"
#include "identity/identity_record.h"
#include "platform/files.h"

namespace fernlite {
namespace {

bool ChosenClientDir(ClientDir which, std::u16string& dir) {
  const bool found =
      which == ClientDir::kAppData ? GetAppDataClientDir(dir) : GetDriveClientDir(dir);
  if (!found) dir.clear();
  return found && !dir.empty();
}

}  // namespace

std::u16string QuoteArgument(std::u16string_view element) {
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : element) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only in front of a quote, where each needs a partner.
    out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');  // the closing quote follows
  return out + u"\"";
}

std::vector<std::u16string> SplitArguments(std::u16string_view text) {
  std::vector<std::u16string> out;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    if (i == text.size()) return out;
    std::u16string element;
    bool quoted = false;
    while (i < text.size()) {
      const char16_t c = text[i];
      if (!quoted && (c == u' ' || c == u'\t')) break;
      if (c == u'\\') {
        size_t run = 0;
        for (; i < text.size() && text[i] == u'\\'; ++i) ++run;
        if (i < text.size() && text[i] == u'"') {
          // 2n backslashes and a quote: n backslashes, and the quote still counts as a quote.
          element.append(run / 2, u'\\');
          if (run % 2 == 1) {
            element += u'"';
            ++i;
          }
        } else {
          element.append(run, u'\\');
        }
        continue;
      }
      if (c == u'"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
          element += u'"';  // "" inside quotes is a literal quote
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      element += c;
      ++i;
    }
    out.push_back(std::move(element));
  }
}

std::u16string RelaunchParameters(std::u16string_view shortcut_arguments,
                                  std::u16string_view own_path, std::u16string_view icon_label) {
  return std::u16string(shortcut_arguments) + u" /D " + QuoteArgument(own_path) + u" /IB " +
         QuoteArgument(icon_label);
}

int SelfInstall(ClientDir which, bool run_after_install, RunSettings& settings,
                const InstallServices& services) {
  std::u16string dir;
  const bool have_dir = ChosenClientDir(which, dir);
  settings.InstallDir = dir;
  if (!have_dir) return kInstallFailed;

  const std::u16string own_path = services.own_path.empty() ? GetModulePath() : services.own_path;
  if (own_path.empty()) return kInstallFailed;
  if (PathDirectory(own_path) == settings.InstallDir) return kAlreadyInstalled;
  if (!CreateDirectories(settings.InstallDir)) return kInstallFailed;

  const std::u16string installed = PathAppend(settings.InstallDir, settings.ExeName);
  const std::u16string version = services.file_version ? services.file_version(own_path) : u"";
  CIdentityRecord record(settings.GameCode, settings.ChannelID, settings.SubChannelID, version,
                         settings.ExeName, which == ClientDir::kAppData);
  // Both answers describe the machine before this copy lands.
  const bool loaded = record.Load();
  const int install_count = record.GetInstallCount();

  if (!CopyExecutable(own_path, installed)) return kInstallFailed;
  if (services.report) services.report(loaded && install_count == 0 ? u"44" : u"50");
  record.Save();

  const std::u16string arguments = CreateShortcuts(installed, settings, services.shortcut_folders);
  const std::u16string parameters =
      RelaunchParameters(arguments, own_path, settings.CreatedShortcutName);
  if (run_after_install && services.start_process) services.start_process(installed, parameters);
  return kInstalled;
}

}  // namespace fernlite
