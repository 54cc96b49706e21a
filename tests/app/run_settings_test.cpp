#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "platform/process_platform.h"
#include "platform/seam.h"

namespace fernlite {
namespace {

using Args = std::vector<std::u16string>;

// The process list answers `running` for every name and records what it was asked.
class ProcessList {
 public:
  explicit ProcessList(bool running)
      : scoped_([this, running] {
          ProcessPlatform process = Platform<ProcessPlatform>();
          process.is_running = [this, running](std::u16string_view name) {
            queried.emplace_back(name);
            return running;
          };
          return process;
        }()) {}
  std::vector<std::u16string> queried;

 private:
  ScopedPlatform<ProcessPlatform> scoped_;
};

// Parses into a fresh record.
struct Parsed {
  RunSettings settings;
  StartupFlags flags;
  std::vector<std::u16string> queried;
};

Parsed Parse(Args args, bool fixed_channel = true, bool full_client_running = false) {
  args.insert(args.begin(), u"C:\\Downloads\\vexa_qmzt.exe");
  Parsed out;
  ProcessList processes(full_client_running);
  out.settings.FixedChannel = fixed_channel;
  ParseCommandLine(args, out.settings, out.flags);
  out.queried = processes.queried;
  return out;
}

TEST(RunSettings, BuiltInValues) {
  const RunSettings s;
  EXPECT_EQ(s.GameTitle, u"岚岫奇谭");
  EXPECT_EQ(s.GameCode, u"qmzt");
  EXPECT_EQ(s.ExeName, u"vexa_qmzt.exe");
  EXPECT_EQ(s.DefaultChannelID, u"281");
  EXPECT_EQ(s.DefaultSubChannelID, u"407");
  EXPECT_TRUE(s.FixedChannel);
  EXPECT_EQ(s.ShortcutName, u"VEXA-岚岫奇谭");
  EXPECT_TRUE(s.ExitAfterLauncher);
  EXPECT_FALSE(s.StartupShortcut);
  const std::u16string suffix = u"/guest/c1/?";
  ASSERT_GT(s.GuestBaseUrl.size(), suffix.size());
  EXPECT_EQ(s.GuestBaseUrl.substr(s.GuestBaseUrl.size() - suffix.size()), suffix);
  EXPECT_EQ(s.GuestBaseUrl.rfind(u"http", 0), 0u);
  EXPECT_EQ(s.GameWindowWidth, 600);
  EXPECT_EQ(s.GameWindowHeight, 400);
  EXPECT_EQ(s.StartMaximized, 0);
  EXPECT_TRUE(s.UserInfo.empty() && s.Ext.empty() && s.PlayerName.empty() && s.GameUrl.empty());

  // The process-wide record is one object.
  Settings().InstallDir = u"x";
  EXPECT_EQ(&Settings(), &Settings());
  EXPECT_EQ(Settings().InstallDir, u"x");
  Settings().InstallDir.clear();
}

TEST(LookupSwitch, MatchesWholeNamesWithoutCase) {
  const Args args = {u"prog", u"/cc", u"7", u"/C", u"5", u"/c", u"9"};
  EXPECT_EQ(LookupSwitch(args, u"/C"), u"5");  // first match wins, /cc is not /C
  EXPECT_EQ(LookupSwitch(args, u"/CC"), u"7");
  EXPECT_EQ(LookupSwitch(args, u"/D"), u"");
  // Element 0 is the program path, never a switch.
  EXPECT_EQ(LookupSwitch({u"/C", u"1"}, u"/C"), u"");
  // The next element is the value whatever it looks like.
  EXPECT_EQ(LookupSwitch({u"prog", u"/C", u"/CC", u"5"}, u"/C"), u"/CC");
  // ... and is not a switch of its own.
  EXPECT_EQ(LookupSwitch({u"prog", u"/C", u"/CC", u"5"}, u"/CC"), u"");
  EXPECT_EQ(LookupSwitch({u"prog", u"/C", u"/D", u"/D", u"x"}, u"/D"), u"x");
  // Unknown elements are skipped one by one.
  EXPECT_EQ(LookupSwitch({u"prog", u"/X", u"/C", u"5"}, u"/C"), u"5");
  // A switch in the last position has no value.
  EXPECT_EQ(LookupSwitch({u"prog", u"1", u"/C"}, u"/C"), u"");
  EXPECT_EQ(LookupSwitch({}, u"/C"), u"");
}

TEST(NormaliseChannel, NullInAnyCaseClears) {
  EXPECT_EQ(NormaliseChannel(u"null"), u"");
  EXPECT_EQ(NormaliseChannel(u"NuLL"), u"");
  EXPECT_EQ(NormaliseChannel(u"nullx"), u"nullx");
  EXPECT_EQ(NormaliseChannel(u"12"), u"12");
}

TEST(ParseCommandLine, NoArgumentsGiveBuiltInChannel) {
  const Parsed p = Parse({});
  EXPECT_EQ(p.settings.ChannelID, u"281");
  EXPECT_EQ(p.settings.SubChannelID, u"407");
  EXPECT_EQ(p.settings.ShortcutName, u"VEXA-岚岫奇谭");
  EXPECT_EQ(p.settings.ExeName, u"vexa_qmzt.exe");
  EXPECT_TRUE(p.flags.InstallAllowed);
  EXPECT_TRUE(p.flags.RunAfterInstall);
  EXPECT_FALSE(p.flags.BubbleRequested);
  EXPECT_TRUE(p.settings.BubbleIconName.empty());
  EXPECT_FALSE(p.settings.StartupShortcut);
  EXPECT_TRUE(p.flags.DeletePath.empty());
  // A fixed channel decides without the full client: no walk over every process at start.
  EXPECT_TRUE(p.queried.empty());
}

TEST(ParseCommandLine, ChannelValues) {
  Parsed p = Parse({u"/c", u"12", u"/cc", u"NULL"});
  EXPECT_EQ(p.settings.ChannelID, u"12");
  EXPECT_EQ(p.settings.SubChannelID, u"");  // cleared, not the default

  p = Parse({u"/CC", u"8", u"/C"});  // /C without a value falls back
  EXPECT_EQ(p.settings.ChannelID, u"281");
  EXPECT_EQ(p.settings.SubChannelID, u"8");

  p = Parse({u"/C", u"/CC", u"5"});  // /C swallows the next switch name, which is then no switch
  EXPECT_EQ(p.settings.ChannelID, u"/CC");
  EXPECT_EQ(p.settings.SubChannelID, u"407");

  p = Parse({u"/C", u"", u"/CC", u""});  // empty values count as absent
  EXPECT_EQ(p.settings.ChannelID, u"281");
  EXPECT_EQ(p.settings.SubChannelID, u"407");

  // The defaults come from the record, not from the build constants.
  Parsed custom;
  custom.settings.DefaultChannelID = u"900";
  custom.settings.DefaultSubChannelID = u"901";
  custom.settings.FixedChannel = true;
  ParseCommandLine({u"prog"}, custom.settings, custom.flags);
  EXPECT_EQ(custom.settings.ChannelID, u"900");
  EXPECT_EQ(custom.settings.SubChannelID, u"901");
}

TEST(ParseCommandLine, GenericChannelDependsOnFullClient) {
  Parsed p = Parse({}, /*fixed_channel=*/false, /*full_client_running=*/true);
  EXPECT_EQ(p.settings.ChannelID, u"263");
  EXPECT_EQ(p.settings.SubChannelID, u"434");
  p = Parse({}, false, false);
  EXPECT_EQ(p.settings.ChannelID, u"263");
  EXPECT_EQ(p.settings.SubChannelID, u"433");
  // An explicit sub-channel wins over the full-client rule.
  p = Parse({u"/CC", u"77"}, false, true);
  EXPECT_EQ(p.settings.SubChannelID, u"77");
  EXPECT_TRUE(p.queried.empty());
  // A fixed channel ignores the full client.
  p = Parse({}, true, true);
  EXPECT_EQ(p.settings.SubChannelID, u"407");
  // A process list that cannot be read answers no: the full client counts as not running.
  p = Parse({}, false, false);
  EXPECT_EQ(p.queried, std::vector<std::u16string>{u"larkway.exe"});
}

TEST(ParseCommandLine, ExeNameNeedsLowerCaseExtension) {
  EXPECT_EQ(Parse({u"/CN", u"setup.EXE"}).settings.ExeName, u"vexa_qmzt.exe");
  EXPECT_EQ(Parse({u"/CN", u"game.exe"}).settings.ExeName, u"game.exe");
  EXPECT_EQ(Parse({u"/cn", u"my.exe.bak"}).settings.ExeName, u"my.exe.bak");  // anywhere
  EXPECT_EQ(Parse({u"/CN", u"game"}).settings.ExeName, u"vexa_qmzt.exe");
  EXPECT_EQ(Parse({u"/CN"}).settings.ExeName, u"vexa_qmzt.exe");
  // A directory part would place the installed copy outside the client directory.
  EXPECT_EQ(Parse({u"/CN", u"..\\..\\evil.exe"}).settings.ExeName, u"vexa_qmzt.exe");
  EXPECT_EQ(Parse({u"/CN", u"../evil.exe"}).settings.ExeName, u"vexa_qmzt.exe");
  EXPECT_EQ(Parse({u"/CN", u"C:evil.exe"}).settings.ExeName, u"vexa_qmzt.exe");
}

TEST(ParseCommandLine, InstallAndRunSwitches) {
  Parsed p = Parse({u"/I", u"NoInstall", u"/R", u"NORUN"});
  EXPECT_FALSE(p.flags.InstallAllowed);
  EXPECT_FALSE(p.flags.RunAfterInstall);
  p = Parse({u"/I", u"install", u"/R", u"run"});
  EXPECT_TRUE(p.flags.InstallAllowed);
  EXPECT_TRUE(p.flags.RunAfterInstall);
  p = Parse({u"/I", u"noinstallx", u"/R", u"norun "});
  EXPECT_TRUE(p.flags.InstallAllowed);
  EXPECT_TRUE(p.flags.RunAfterInstall);
  // The switches only ever clear the flags.
  StartupFlags flags;
  flags.RunAfterInstall = false;
  RunSettings s;
  ParseCommandLine({u"prog", u"/R", u"run"}, s, flags);
  EXPECT_FALSE(flags.RunAfterInstall);
}

TEST(ParseCommandLine, ShortcutName) {
  // Fixed channel: /SN is ignored.
  EXPECT_EQ(Parse({u"/SN", u"Other"}, true).settings.ShortcutName, u"VEXA-岚岫奇谭");
  // Otherwise it is honoured, and a missing name falls back to the default.
  EXPECT_EQ(Parse({u"/sn", u"Other"}, false).settings.ShortcutName, u"Other");
  EXPECT_EQ(Parse({}, false).settings.ShortcutName, u"VEXA-岚岫奇谭");
  EXPECT_EQ(Parse({u"/SN", u""}, false).settings.ShortcutName, u"VEXA-岚岫奇谭");
  // The default follows the record's game title.
  RunSettings s;
  s.GameTitle = u"Title";
  s.ShortcutName.clear();
  StartupFlags f;
  s.FixedChannel = true;
  ParseCommandLine({u"prog"}, s, f);
  EXPECT_EQ(s.ShortcutName, u"VEXA-Title");
}

TEST(ParseCommandLine, StartupShortcutAndBubble) {
  Parsed p = Parse({u"/RW", u"yes", u"/IB", u"VEXA-岚岫奇谭"});
  EXPECT_TRUE(p.settings.StartupShortcut);
  EXPECT_TRUE(p.flags.BubbleRequested);
  EXPECT_EQ(p.settings.BubbleIconName, u"VEXA-岚岫奇谭");
  EXPECT_TRUE(Parse({u"/rw", u"YES"}).settings.StartupShortcut);
  EXPECT_FALSE(Parse({u"/RW", u"no"}).settings.StartupShortcut);
  p = Parse({u"/IB"});
  EXPECT_FALSE(p.flags.BubbleRequested);
  EXPECT_TRUE(p.settings.BubbleIconName.empty());
}

TEST(ParseCommandLine, DeleteSwitchNamesTheFileToDelete) {
  Parsed p = Parse({u"/D", u"C:\\Downloads\\vexa setup.exe", u"/C", u"3"});
  EXPECT_EQ(p.flags.DeletePath, u"C:\\Downloads\\vexa setup.exe");
  EXPECT_EQ(p.settings.ChannelID, u"3");
  EXPECT_TRUE(Parse({u"/D"}).flags.DeletePath.empty());
  EXPECT_TRUE(Parse({u"/D", u""}).flags.DeletePath.empty());
  // Unknown switches and stray elements change nothing.
  p = Parse({u"stray", u"/X", u"1", u"/CCC", u"9"});
  EXPECT_EQ(p.settings.ChannelID, u"281");
  EXPECT_EQ(p.settings.SubChannelID, u"407");
  EXPECT_TRUE(p.flags.DeletePath.empty());
}

}  // namespace
}  // namespace fernlite
