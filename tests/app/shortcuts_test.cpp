#include <gtest/gtest.h>

#include "app/self_install.h"
#include "app/shortcuts.h"
#include "app/startup.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace fernlite {
namespace {

constexpr char16_t kTitle[] = u"岚岫奇谭";

class ShortcutsTest : public ::testing::Test {
 protected:
  // Shell links need COM on the calling thread.
  void SetUp() override {
    settings_.ChannelID = u"281";
    settings_.SubChannelID = u"407";
    target_ = program_dir_.Join(u"vexa_qmzt.exe");
    test::WriteTestFile(target_, "program");
    folders_.desktop = desktop_.path();
    folders_.startup = startup_.path();
  }

  std::u16string Shortcut(const test::TempDir& dir, std::u16string_view prefix) const {
    return ShortcutPath(dir.path(), std::u16string(prefix) + kTitle);
  }
  // An earlier installation's shortcut with these arguments.
  void PlaceEarlier(const test::TempDir& dir, std::u16string_view prefix,
                    const std::u16string& arguments) {
    ASSERT_TRUE(test::WriteShortcut(old_target_, Shortcut(dir, prefix), arguments));
  }

  test::ScopedServices services_;
  RunSettings settings_;
  test::TempDir program_dir_, desktop_, startup_;
  std::u16string target_;
  std::u16string old_target_ = program_dir_.Join(u"old.exe");
  ShortcutFolders folders_;
};

TEST_F(ShortcutsTest, FreshDesktopGetsTheNewArgumentsUnderTheShortcutName) {
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 281 /CC 407");
  const std::u16string link = Shortcut(desktop_, u"VEXA-");
  ASSERT_TRUE(FileExists(link));
  EXPECT_EQ(test::ReadShortcutArguments(link), u" /C 281 /CC 407");
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");
  // Nothing in the Startup folder unless asked for.
  EXPECT_FALSE(FileExists(Shortcut(startup_, u"VEXA-")));
}

TEST_F(ShortcutsTest, EmptySubChannelIsWrittenAsNull) {
  settings_.SubChannelID.clear();
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 281 /CC null");
  EXPECT_EQ(NewShortcutArguments(settings_), u" /C 281 /CC null");
}

// What the installed copy reads from a command line built of these arguments.
RunSettings ReadBack(const std::u16string& arguments, StartupFlags& flags) {
  std::vector<std::u16string> args{u"vexa_qmzt.exe"};
  for (std::u16string& element : SplitArguments(arguments)) args.push_back(std::move(element));
  RunSettings parsed;
  ParseCommandLine(args, parsed, flags);
  return parsed;
}

TEST_F(ShortcutsTest, EveryChannelValueComesBackFromTheCommandLineAsItWasWritten) {
  const std::u16string values[] = {u"281",    u"281 /D /home/p/victim",
                                   u"a\"b",   u"\"",
                                   u"tail\\", u"c:\\a b\\",
                                   u"\\\"x",  u"/CC",
                                   u"/D",     u"\t407 ",
                                   u"渠道 1"};
  for (const std::u16string& value : values) {
    settings_.ChannelID = value;
    settings_.SubChannelID = u"/D";
    const std::u16string arguments = NewShortcutArguments(settings_);
    // Through the relaunch line, which carries a path and a label with blanks of its own.
    const std::u16string line =
        RelaunchParameters(arguments, u"C:\\Users\\p q\\Down loads\\setup.exe", u"/CC x");
    StartupFlags flags;
    const RunSettings parsed = ReadBack(line, flags);
    EXPECT_EQ(parsed.ChannelID, value) << ToUtf8(line);
    EXPECT_EQ(parsed.SubChannelID, u"/D") << ToUtf8(line);
    EXPECT_EQ(flags.DeletePath, u"C:\\Users\\p q\\Down loads\\setup.exe") << ToUtf8(line);
    EXPECT_EQ(parsed.BubbleIconName, u"/CC x") << ToUtf8(line);
  }
}

TEST_F(ShortcutsTest, AnEmptyChannelIsWrittenAsNullAndStaysEmpty) {
  settings_.ChannelID.clear();
  const std::u16string arguments = NewShortcutArguments(settings_);
  EXPECT_EQ(arguments, u" /C null /CC 407");
  StartupFlags flags;
  const RunSettings parsed = ReadBack(arguments, flags);
  EXPECT_EQ(parsed.ChannelID, u"");
  EXPECT_EQ(parsed.SubChannelID, u"407");
}

TEST_F(ShortcutsTest, EarlierShortcutKeepsItsNameAndArguments) {
  PlaceEarlier(desktop_, u"3939RIX-", u" /C 5 /CC 6");
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 5 /CC 6");
  EXPECT_EQ(settings_.CreatedShortcutName, u"3939RIX-岚岫奇谭");
  EXPECT_TRUE(FileExists(Shortcut(desktop_, u"3939RIX-")));
  EXPECT_FALSE(FileExists(Shortcut(desktop_, u"VEXA-")));
  EXPECT_EQ(test::ReadShortcutArguments(Shortcut(desktop_, u"3939RIX-")), u" /C 5 /CC 6");
}

TEST_F(ShortcutsTest, BothEarlierShortcutsGoAndTheVexaOneWins) {
  PlaceEarlier(desktop_, u"3939RIX-", u" /C 5 /CC 6");
  PlaceEarlier(desktop_, u"VEXA-", u" /C 7 /CC 8");
  EXPECT_EQ(FindEarlierShortcut(desktop_.path(), kTitle), Shortcut(desktop_, u"VEXA-"));
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 7 /CC 8");
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");
  EXPECT_FALSE(FileExists(Shortcut(desktop_, u"3939RIX-")));
  EXPECT_EQ(test::ReadShortcutArguments(Shortcut(desktop_, u"VEXA-")), u" /C 7 /CC 8");
}

TEST_F(ShortcutsTest, EarlierShortcutWithoutArgumentsGetsTheDefault) {
  PlaceEarlier(desktop_, u"VEXA-", u"");
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 263 /CC 434 ");
  EXPECT_EQ(test::ReadShortcutArguments(Shortcut(desktop_, u"VEXA-")), u" /C 263 /CC 434 ");
}

TEST_F(ShortcutsTest, UnreadableEarlierShortcutGetsTheDefault) {
  test::WriteTestFile(Shortcut(desktop_, u"3939RIX-"), "not a shortcut at all");
  EXPECT_EQ(test::ReadShortcutArguments(Shortcut(desktop_, u"3939RIX-")), u"");
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 263 /CC 434 ");
  EXPECT_EQ(settings_.CreatedShortcutName, u"3939RIX-岚岫奇谭");
}

TEST_F(ShortcutsTest, RemoveEarlierNamesTheLastOneDeleted) {
  EXPECT_EQ(RemoveEarlierShortcuts(desktop_.path(), kTitle), u"");
  PlaceEarlier(desktop_, u"3939RIX-", u" /C 1 /CC 2");
  EXPECT_EQ(RemoveEarlierShortcuts(desktop_.path(), kTitle), u"3939RIX-岚岫奇谭");
  EXPECT_EQ(FindEarlierShortcut(desktop_.path(), kTitle), u"");
}

TEST_F(ShortcutsTest, StartupFolderFollowsItsOwnEarlierShortcut) {
  settings_.StartupShortcut = true;
  PlaceEarlier(startup_, u"3939RIX-", u" /C 9 /CC 10");
  // The Startup step runs last, so its arguments are the ones returned.
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 9 /CC 10");
  EXPECT_EQ(test::ReadShortcutArguments(Shortcut(desktop_, u"VEXA-")), u" /C 281 /CC 407");
  EXPECT_EQ(test::ReadShortcutArguments(Shortcut(startup_, u"3939RIX-")), u" /C 9 /CC 10");
  // The bubble points at the desktop icon, not the Startup one.
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");
}

TEST_F(ShortcutsTest, UnsavedShortcutIsNotNamedAsCreated) {
  settings_.CreatedShortcutName = u"before";
  const test::TempDir parent;
  test::WriteTestFile(parent.Join(u"file"), "x");
  folders_.desktop = PathAppend(parent.Join(u"file"), u"Desktop");  // under a plain file
  EXPECT_EQ(CreateShortcuts(target_, settings_, folders_), u" /C 281 /CC 407");
  EXPECT_EQ(settings_.CreatedShortcutName, u"before");
}

TEST_F(ShortcutsTest, ArgumentsWithSpecialCharactersSurviveAndLongOnesAreCut) {
  const std::u16string odd = u" /C a%b\\c \"q r\" $HOME `x` /CC 岚";
  const std::u16string link = Shortcut(desktop_, u"VEXA-");
  ASSERT_TRUE(test::WriteShortcut(
      PathAppend(program_dir_.Join(u"dir with blank"), u"vexa_qmzt.exe"), link, odd));
  EXPECT_EQ(test::ReadShortcutArguments(link), odd);

  const std::u16string long_arguments = u" /C " + std::u16string(300, u'7');
  ASSERT_TRUE(test::WriteShortcut(target_, link, long_arguments));
  EXPECT_EQ(test::ReadShortcutArguments(link), long_arguments.substr(0, 259));
}

}  // namespace
}  // namespace fernlite
