#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/file_version_platform.h"
#include "app/self_install.h"
#include "app/shortcuts_platform.h"
#include "app/startup_platform.h"
#include "fakes/fake_platform.h"
#include "fakes/isolated_profile.h"
#include "identity/client_paths.h"
#include "identity/identity_record.h"
#include "net/report.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/process_platform.h"

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

std::u16string ShortcutArguments(const std::u16string& path) {
  return test::ReadShortcutArguments(path);
}

class SelfInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drawing_ = Platform<StartupPlatform>().start_services();  // COM for the shell links
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

    own_.Set(own_path_);
    folders_ = std::make_unique<test::FakeShortcutFolders>(ShortcutFolders{desktop_, {}});
  }
  void TearDown() override {
    EXPECT_TRUE(DrainReports(std::chrono::seconds(10)));
    Platform<StartupPlatform>().stop_services(drawing_);
  }

  // Reports leave on the reporting thread; only a relaunch waits for them.
  std::vector<std::u16string> Reports() const {
    DrainReports(std::chrono::seconds(10));
    return http_.Events();
  }
  const std::vector<test::StartedProgram>& Started() const { return processes_.Started(); }

  std::u16string Installed() const { return PathAppend(app_dir_, settings_.ExeName); }
  int StoredInstallCount() const {
    CIdentityRecord record(settings_.GameCode, u"", u"", u"1.0.0.1", settings_.ExeName, true);
    return record.Load() ? record.InstallCount : -1;
  }

  test::IsolatedProfile profile_;
  bool drawing_ = false;
  RunSettings settings_;
  std::u16string app_dir_, drive_dir_, downloads_, own_path_, desktop_;
  test::FakeHttp http_;
  test::FakeProcesses processes_;
  test::FakeModulePath own_{u""};
  std::unique_ptr<test::FakeShortcutFolders> folders_;
  ScopedPlatform<FileVersionPlatform> version_{
      FileVersionPlatform{[](const std::u16string&) { return std::u16string(u"1.0.0.1"); }}};
};

TEST_F(SelfInstallTest, FirstStartFromDownloadsInstallsRecordsAndRelaunches) {
  ASSERT_FALSE(FileExists(Installed()));
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);

  EXPECT_EQ(settings_.InstallDir, app_dir_);
  EXPECT_EQ(ReadFileBytes(Installed()), "launcher build 1");
  EXPECT_EQ(Reports(), std::vector<std::u16string>{u"44"});
  EXPECT_EQ(StoredInstallCount(), 1);

  const std::u16string link = ShortcutPath(desktop_, u"VEXA-岚岫奇谭");
  ASSERT_TRUE(FileExists(link));
  EXPECT_EQ(ShortcutArguments(link), u" /C 281 /CC 407");
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");

  ASSERT_EQ(Started().size(), 1u);
  EXPECT_EQ(Started()[0].program, Installed());
  // The new process must see the whole download path, blanks included, after /D.
  EXPECT_EQ(SplitArguments(Started()[0].parameters),
            (std::vector<std::u16string>{u"/C", u"281", u"/CC", u"407", u"/D", own_path_, u"/IB",
                                         u"VEXA-岚岫奇谭"}));
  EXPECT_EQ(Started()[0].parameters.rfind(u" /C 281 /CC 407 /D ", 0), 0u);
}

TEST_F(SelfInstallTest, SecondInstallReportsFiftyAndReplacesTheCopy) {
  ASSERT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);
  test::WriteTestFile(own_path_, "launcher build 2");
  RunSettings again;
  again.ChannelID = u"900";  // a later download from another channel
  again.SubChannelID = u"901";
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, again), kInstalled);
  EXPECT_EQ(Reports(), (std::vector<std::u16string>{u"44", u"50"}));
  EXPECT_EQ(ReadFileBytes(Installed()), "launcher build 2");
  EXPECT_EQ(StoredInstallCount(), 2);
  // The shortcut of the first install stays, with the first channel.
  EXPECT_EQ(ShortcutArguments(ShortcutPath(desktop_, u"VEXA-岚岫奇谭")), u" /C 281 /CC 407");
  ASSERT_EQ(Started().size(), 2u);
  EXPECT_EQ(Started()[1].parameters.rfind(u" /C 281 /CC 407 /D ", 0), 0u);
}

TEST_F(SelfInstallTest, InstalledFileWithoutRecordCountsAsReinstall) {
  CreateDirectories(drive_dir_);
  test::WriteTestFile(PathAppend(drive_dir_, settings_.ExeName), "left over");
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);
  EXPECT_EQ(Reports(), std::vector<std::u16string>{u"50"});
}

TEST_F(SelfInstallTest, RunningFromTheClientDirectoryDoesNothing) {
  CreateDirectories(app_dir_);
  own_.Set(Installed());
  test::WriteTestFile(Installed(), "installed");
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kAlreadyInstalled);
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(Started().empty());
  EXPECT_FALSE(FileExists(ShortcutPath(desktop_, u"VEXA-岚岫奇谭")));
}

TEST_F(SelfInstallTest, FromTheSecondClientDirectoryItMovesToTheFirst) {
  CreateDirectories(drive_dir_);
  const std::u16string on_drive = PathAppend(drive_dir_, settings_.ExeName);
  own_.Set(on_drive);
  test::WriteTestFile(on_drive, "from the drive");
  EXPECT_EQ(SelfInstall(ClientDir::kDrive, true, settings_), kAlreadyInstalled);
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);
  EXPECT_EQ(ReadFileBytes(Installed()), "from the drive");
  ASSERT_EQ(Started().size(), 1u);
  EXPECT_EQ(Started()[0].program, Installed());
}

TEST_F(SelfInstallTest, NoRunInstallsButStartsNothing) {
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, false, settings_), kInstalled);
  EXPECT_TRUE(FileExists(Installed()));
  EXPECT_EQ(Reports(), std::vector<std::u16string>{u"44"});
  EXPECT_EQ(settings_.CreatedShortcutName, u"VEXA-岚岫奇谭");
  EXPECT_TRUE(Started().empty());
}

TEST_F(SelfInstallTest, FailedCopyReportsNothing) {
  own_.Set(PathAppend(downloads_, u"gone.exe"));
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstallFailed);
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(Started().empty());
  EXPECT_EQ(StoredInstallCount(), 0);  // nothing saved
}

TEST_F(SelfInstallTest, CustomExeNameIsUsedForTheCopy) {
  settings_.ExeName = u"game.exe";
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);
  EXPECT_TRUE(FileExists(PathAppend(app_dir_, u"game.exe")));
  ASSERT_EQ(Started().size(), 1u);
  EXPECT_EQ(Started()[0].program, PathAppend(app_dir_, u"game.exe"));
  RemoveFile(PathAppend(app_dir_, u"game.exe"));
}

TEST_F(SelfInstallTest, TheCopyStartsOnceTheReportHasGoneOutOrTheBoundHasPassed) {
  using std::chrono::milliseconds;
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false;
  int answered = 0;
  test::FakeHttp collector([&](const std::u16string&, const std::u16string*, const FetchLimits&) {
    std::this_thread::sleep_for(milliseconds(150));
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(20), [&] { return !held; });
    ++answered;
    return false;
  });
  int answered_at_start = -1;
  ProcessPlatform processes = Platform<ProcessPlatform>();
  processes.start = [&, record = processes.start](const std::u16string& program,
                                                  const std::u16string& parameters) {
    std::lock_guard lock(mutex);
    answered_at_start = answered;
    return record(program, parameters);
  };
  ScopedPlatform<ProcessPlatform> watched(std::move(processes));

  // The installed copy sends its own start report; the install's two requests come first.
  ASSERT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);
  EXPECT_EQ(answered_at_start, 2);

  // A collector that never answers delays the copy by the bound, and then it starts anyway.
  {
    std::lock_guard lock(mutex);
    held = true;
  }
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstalled);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, kReportDrainBound - milliseconds(50));
  EXPECT_LT(took, kReportDrainBound + std::chrono::seconds(3));
  EXPECT_EQ(answered_at_start, 2);
  EXPECT_EQ(Started().size(), 2u);
  {
    std::lock_guard lock(mutex);
    held = false;
  }
  changed.notify_all();
  EXPECT_TRUE(DrainReports(std::chrono::seconds(10)));
}

}  // namespace
}  // namespace fernlite
