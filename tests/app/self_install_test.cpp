#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/self_install.h"
#include "app/startup.h"
#include "fakes/isolated_profile.h"
#include "identity/client_paths.h"
#include "identity/identity_record.h"
#include "platform/files.h"

namespace fernlite {
namespace {

TEST(CommandLineQuoting, QuotedElementsSplitBackUnchanged) {
  const std::vector<std::u16string> elements = {
      u"plain",
      u"C:\\Users\\A B\\Downloads\\vexa setup.exe",
      u"",
      u"trailing\\",
      u"two\\\\",
      u"say \"hi\"",
      u"\\\"already escaped\\\"",
      u"VEXA-岚岫奇谭",
      u"tab\there",
  };
  std::u16string line;
  for (const auto& element : elements) line += u" " + QuoteArgument(element);
  EXPECT_EQ(SplitArguments(line), elements);
}

TEST(CommandLineQuoting, SplitFollowsTheShellRules) {
  using V = std::vector<std::u16string>;
  EXPECT_EQ(SplitArguments(u"  /C 281\t/CC  407 "), (V{u"/C", u"281", u"/CC", u"407"}));
  EXPECT_EQ(SplitArguments(u"a\\\\b \"c d\"e"), (V{u"a\\\\b", u"c de"}));
  EXPECT_EQ(SplitArguments(u"a\\\\\\\"b"), (V{u"a\\\"b"}));      // 3 backslashes + quote
  EXPECT_EQ(SplitArguments(u"\"a\\\\\" b"), (V{u"a\\", u"b"}));  // 2 backslashes end the quote
  EXPECT_EQ(SplitArguments(u"\"a\"\"b\" c"), (V{u"a\"b", u"c"}));
  EXPECT_EQ(SplitArguments(u"/IB \"\""), (V{u"/IB", u""}));
  EXPECT_EQ(SplitArguments(u""), V{});
}

TEST(CommandLineQuoting, RelaunchParametersCarryDeleteAndBubble) {
  EXPECT_EQ(RelaunchParameters(u" /C 281 /CC 407", u"D:\\My Files\\setup.exe", u"VEXA-岚岫奇谭"),
            u" /C 281 /CC 407 /D \"D:\\My Files\\setup.exe\" /IB \"VEXA-岚岫奇谭\"");
}

struct Started {
  std::u16string program;
  std::u16string parameters;
};

class SelfInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drawing_ = StartPlatformServices();  // COM for the shell links
    ASSERT_TRUE(GetAppDataClientDir(app_dir_));
    ASSERT_TRUE(GetDriveClientDir(drive_dir_));
    settings_.ChannelID = u"281";
    settings_.SubChannelID = u"407";
    downloads_ = profile_.scratch().Join(u"my downloads");
    CreateDirectories(downloads_);
    own_path_ = PathAppend(downloads_, u"vexa setup.exe");
    test::WriteTestFile(own_path_, "launcher build 1");
    desktop_ = profile_.scratch().Join(u"Desktop");
    CreateDirectories(desktop_);

    services_.own_path = own_path_;
    services_.report = [this](std::u16string_view event) { reports_.emplace_back(event); };
    services_.file_version = [](const std::u16string&) { return std::u16string(u"1.0.0.1"); };
    services_.start_process = [this](const std::u16string& program,
                                     const std::u16string& parameters) {
      started_.push_back({program, parameters});
      return true;
    };
    services_.shortcut_folders.desktop = desktop_;
  }
  void TearDown() override { StopPlatformServices(drawing_); }

  std::u16string Installed() const { return PathAppend(app_dir_, settings_.ExeName); }
  int StoredInstallCount() const {
    CIdentityRecord record(settings_.GameCode, u"", u"", u"1.0.0.1", settings_.ExeName, true);
    return record.Load() ? record.InstallCount : -1;
  }

  test::IsolatedProfile profile_;
  bool drawing_ = false;
  RunSettings settings_;
  InstallServices services_;
  std::u16string app_dir_, drive_dir_, downloads_, own_path_, desktop_;
  std::vector<std::u16string> reports_;
  std::vector<Started> started_;
};

TEST_F(SelfInstallTest, FirstStartFromDownloadsInstallsRecordsAndRelaunches) {
  ASSERT_FALSE(FileExists(Installed()));
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kInstalled);

  EXPECT_EQ(settings_.InstallDir, app_dir_);
  EXPECT_EQ(ReadFileBytes(Installed()), "launcher build 1");
  EXPECT_EQ(reports_, std::vector<std::u16string>{u"44"});
  EXPECT_EQ(StoredInstallCount(), 1);

  const std::u16string link = ShortcutPath(desktop_, u"VEXA-岚岫奇谭");
  ASSERT_TRUE(FileExists(link));
  EXPECT_EQ(ReadShortcutArguments(link), u" /C 281 /CC 407");
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");

  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].program, Installed());
  // The new process must see the whole download path, blanks included, after /D.
  EXPECT_EQ(SplitArguments(started_[0].parameters),
            (std::vector<std::u16string>{u"/C", u"281", u"/CC", u"407", u"/D", own_path_, u"/IB",
                                         u"VEXA-岚岫奇谭"}));
  EXPECT_EQ(started_[0].parameters.rfind(u" /C 281 /CC 407 /D ", 0), 0u);
}

TEST_F(SelfInstallTest, SecondInstallReportsFiftyAndReplacesTheCopy) {
  ASSERT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kInstalled);
  test::WriteTestFile(own_path_, "launcher build 2");
  RunSettings again;
  again.ChannelID = u"900";  // a later download from another channel
  again.SubChannelID = u"901";
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, again, services_), kInstalled);
  EXPECT_EQ(reports_, (std::vector<std::u16string>{u"44", u"50"}));
  EXPECT_EQ(ReadFileBytes(Installed()), "launcher build 2");
  EXPECT_EQ(StoredInstallCount(), 2);
  // The shortcut of the first install stays, with the first channel.
  EXPECT_EQ(ReadShortcutArguments(ShortcutPath(desktop_, u"VEXA-岚岫奇谭")), u" /C 281 /CC 407");
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(started_[1].parameters.rfind(u" /C 281 /CC 407 /D ", 0), 0u);
}

TEST_F(SelfInstallTest, InstalledFileWithoutRecordCountsAsReinstall) {
  CreateDirectories(drive_dir_);
  test::WriteTestFile(PathAppend(drive_dir_, settings_.ExeName), "left over");
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kInstalled);
  EXPECT_EQ(reports_, std::vector<std::u16string>{u"50"});
}

TEST_F(SelfInstallTest, RunningFromTheClientDirectoryDoesNothing) {
  CreateDirectories(app_dir_);
  services_.own_path = Installed();
  test::WriteTestFile(Installed(), "installed");
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kAlreadyInstalled);
  EXPECT_TRUE(reports_.empty());
  EXPECT_TRUE(started_.empty());
  EXPECT_FALSE(FileExists(ShortcutPath(desktop_, u"VEXA-岚岫奇谭")));
}

TEST_F(SelfInstallTest, FromTheSecondClientDirectoryItMovesToTheFirst) {
  CreateDirectories(drive_dir_);
  services_.own_path = PathAppend(drive_dir_, settings_.ExeName);
  test::WriteTestFile(services_.own_path, "from the drive");
  EXPECT_EQ(SelfInstall(ClientDir::kDrive, true, settings_, services_), kAlreadyInstalled);
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kInstalled);
  EXPECT_EQ(ReadFileBytes(Installed()), "from the drive");
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].program, Installed());
}

TEST_F(SelfInstallTest, NoRunInstallsButStartsNothing) {
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, false, settings_, services_), kInstalled);
  EXPECT_TRUE(FileExists(Installed()));
  EXPECT_EQ(reports_, std::vector<std::u16string>{u"44"});
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");
  EXPECT_TRUE(started_.empty());
}

TEST_F(SelfInstallTest, FailedCopyReportsNothing) {
  services_.own_path = PathAppend(downloads_, u"gone.exe");
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kInstallFailed);
  EXPECT_TRUE(reports_.empty());
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(StoredInstallCount(), 0);  // nothing saved
}

TEST_F(SelfInstallTest, CustomExeNameIsUsedForTheCopy) {
  settings_.ExeName = u"game.exe";
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_, services_), kInstalled);
  EXPECT_TRUE(FileExists(PathAppend(app_dir_, u"game.exe")));
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0].program, PathAppend(app_dir_, u"game.exe"));
  RemoveFile(PathAppend(app_dir_, u"game.exe"));
}

}  // namespace
}  // namespace fernlite
