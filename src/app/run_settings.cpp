#include "app/run_settings.h"

#include "net/endpoints.h"
#include "platform/process.h"
#include "platform/text.h"

namespace fernlite {

namespace {

// The full client, when installed and running, marks the player as coming from it.
constexpr std::u16string_view kFullClientExe = u"larkway.exe";
constexpr std::u16string_view kGenericChannel = u"263";
constexpr std::u16string_view kFullClientSubChannel = u"434";
constexpr std::u16string_view kGenericSubChannel = u"433";

bool IsKnownSwitch(std::u16string_view element) {
  // Every switch is a slash and one or two letters; most elements are not.
  if (element.size() < 2 || element.size() > 3 || element[0] != u'/') return false;
  for (std::u16string_view known :
       {u"/C", u"/CC", u"/D", u"/I", u"/R", u"/IB", u"/SN", u"/RW", u"/CN"}) {
    if (EqualsNoCase(element, known)) return true;
  }
  return false;
}

}  // namespace

RunSettings& Settings() {
  static RunSettings& settings = *[] {
    auto* built = new RunSettings;
    // The game host may be replaced at run time (development platform).
    built->GuestBaseUrl = PlatformBase(Endpoint::kGame) + u"/guest/c1/?";
    return built;
  }();
  return settings;
}

std::u16string LookupSwitch(const std::vector<std::u16string>& args, std::u16string_view name) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (EqualsNoCase(args[i], name)) return i + 1 < args.size() ? args[i + 1] : std::u16string();
    if (IsKnownSwitch(args[i])) ++i;  // its value is no switch
  }
  return {};
}

std::u16string NormaliseChannel(std::u16string_view value) {
  if (EqualsNoCase(value, u"null")) return {};
  return std::u16string(value);
}

void ParseCommandLine(const std::vector<std::u16string>& args, RunSettings& settings,
                      StartupFlags& flags) {
  const bool fixed_channel = settings.FixedChannel;

  const std::u16string channel = LookupSwitch(args, u"/C");
  if (!channel.empty()) {
    settings.ChannelID = NormaliseChannel(channel);
  } else {
    settings.ChannelID =
        fixed_channel ? settings.DefaultChannelID : std::u16string(kGenericChannel);
  }

  const std::u16string sub_channel = LookupSwitch(args, u"/CC");
  if (!sub_channel.empty()) {
    settings.SubChannelID = NormaliseChannel(sub_channel);
  } else if (fixed_channel) {
    settings.SubChannelID = settings.DefaultSubChannelID;
  } else {
    // Only asked when it decides something: the look walks every process on the machine.
    settings.SubChannelID = std::u16string(IsProcessRunning(kFullClientExe) ? kFullClientSubChannel
                                                                            : kGenericSubChannel);
  }

  flags.DeletePath = LookupSwitch(args, u"/D");

  if (EqualsNoCase(LookupSwitch(args, u"/I"), u"noinstall")) flags.InstallAllowed = false;
  if (EqualsNoCase(LookupSwitch(args, u"/R"), u"norun")) flags.RunAfterInstall = false;

  const std::u16string bubble_icon = LookupSwitch(args, u"/IB");
  if (!bubble_icon.empty()) {
    settings.BubbleIconName = bubble_icon;
    flags.BubbleRequested = true;
  }

  // A fixed-channel build keeps its own shortcut name whatever the command line says.
  if (!fixed_channel) settings.ShortcutName = LookupSwitch(args, u"/SN");
  if (settings.ShortcutName.empty()) settings.ShortcutName = u"VEXA-" + settings.GameTitle;

  if (EqualsNoCase(LookupSwitch(args, u"/RW"), u"yes")) settings.StartupShortcut = true;

  // Only a name carrying the lower-case extension is taken as the installed file name.
  const std::u16string exe_name = LookupSwitch(args, u"/CN");
  // A file name only: a value with a directory part would install outside the client directory.
  if (exe_name.find(u".exe") != std::u16string::npos &&
      exe_name.find_first_of(u"\\/:") == std::u16string::npos) {
    settings.ExeName = exe_name;
  }
}

}  // namespace fernlite
