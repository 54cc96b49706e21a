#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "fakes/isolated_profile.h"
#include "identity/client_paths.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using Log = std::vector<std::string>;

// Windows that log what they are asked to do; each run of a window is scripted.
class FakeWindows : public LauncherWindows {
 public:
  explicit FakeWindows(Log& log) : log_(log) {}
  void Open() override { log_.push_back("open"); }
  int RunLauncher() override {
    log_.push_back("launcher");
    return Next(launcher_runs_);
  }
  int RunGameWindow() override {
    log_.push_back("game");
    return Next(game_runs_);
  }
  void ShowBubble(const std::u16string& label, int show_command) override {
    log_.push_back("bubble " + ToUtf8(label) + " " + std::to_string(show_command));
  }
  void Close() override { log_.push_back("close"); }

  // One entry per run: what the window does while open, and its result.
  std::vector<std::function<int()>> launcher_runs_, game_runs_;

 private:
  static int Next(std::vector<std::function<int()>>& runs) {
    if (runs.empty()) return kWindowClosed;
    auto run = runs.front();
    runs.erase(runs.begin());
    return run();
  }
  Log& log_;
};

TEST(RunLoop, LauncherClosedWithoutGameEndsWithOne) {
  Log log;
  FakeWindows windows(log);
  RunSettings settings;
  EXPECT_EQ(RunLoop(windows, settings), 1);
  EXPECT_EQ(log, (Log{"launcher"}));
}

TEST(RunLoop, GameWindowReturnsToTheLauncher) {
  Log log;
  FakeWindows windows(log);
  RunSettings settings;
  auto start_game = [&] {
    settings.ExitAfterLauncher = false;
    return kWindowClosed;
  };
  windows.launcher_runs_ = {start_game, start_game, [] { return kWindowClosed; }};
  EXPECT_EQ(RunLoop(windows, settings), 1);
  EXPECT_EQ(log, (Log{"launcher", "game", "launcher", "game", "launcher"}));
  EXPECT_TRUE(settings.ExitAfterLauncher);
}

TEST(RunLoop, WindowsThatCannotBeCreated) {
  Log log;
  FakeWindows windows(log);
  RunSettings settings;
  windows.launcher_runs_ = {[] { return kWindowNotCreated; }};
  EXPECT_EQ(RunLoop(windows, settings), 1);

  windows.launcher_runs_ = {[&] {
    settings.ExitAfterLauncher = false;
    return kWindowClosed;
  }};
  windows.game_runs_ = {[] { return kWindowNotCreated; }};
  EXPECT_EQ(RunLoop(windows, settings), 0);
}

TEST(MarkerPathTest, SitsBesideTheExecutable) {
  const std::u16string exe = PathAppend(PathAppend(u"base", u"dir"), u"vexa_qmzt.exe");
  EXPECT_EQ(MarkerPath(exe, u"qmzt"), PathAppend(PathAppend(u"base", u"dir"), u"qmzt_mark.mrk"));
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The test's own COM use (reading shortcuts back) outlives the sequence's.
    drawing_ = StartPlatformServices();
    ASSERT_TRUE(GetAppDataClientDir(app_dir_));
    downloads_ = profile_.scratch().Join(u"Downloads");
    CreateDirectories(downloads_);
    own_path_ = PathAppend(downloads_, u"vexa setup.exe");
    test::WriteTestFile(own_path_, "launcher");
    marker_ = MarkerPath(own_path_, settings_.GameCode);
    desktop_ = profile_.scratch().Join(u"Desktop");
    CreateDirectories(desktop_);

    hooks_.report = [this](std::u16string_view event) {
      log_.push_back("report " + ToUtf8(event));
    };
    hooks_.command_line.fixed_channel = true;
    hooks_.command_line.is_process_running = [](std::u16string_view) { return false; };
    hooks_.command_line.start_delete_worker = [this](std::u16string path) {
      log_.push_back("delete " + ToUtf8(path));
    };
    hooks_.install.own_path = own_path_;
    hooks_.install.file_version = [](const std::u16string&) { return std::u16string(u"1.0.0.1"); };
    hooks_.install.start_process = [this](const std::u16string& program,
                                          const std::u16string& parameters) {
      started_program_ = program;
      started_parameters_ = parameters;
      log_.push_back("start");
      return true;
    };
    hooks_.install.shortcut_folders.desktop = desktop_;
    hooks_.start_upgrade_worker = [this] {
      log_.push_back("worker start");
      return true;
    };
    hooks_.stop_upgrade_worker = [this](int wait_ms) {
      log_.push_back("worker stop " + std::to_string(wait_ms));
    };
    hooks_.sleep = [this](int ms) { log_.push_back("sleep " + std::to_string(ms)); };
    hooks_.windows = &windows_;
  }

  void TearDown() override { StopPlatformServices(drawing_); }

  int Run(std::vector<std::u16string> switches) {
    switches.insert(switches.begin(), own_path_);
    return RunStartup(switches, 5, settings_, hooks_);
  }
  // The marker while the launcher is open: present, and not deletable by anyone else.
  std::function<int()> CheckMarkerHeld() {
    return [this] {
      marker_seen_ = FileExists(marker_);
      marker_deletable_ = RemoveFile(marker_);
      return kWindowClosed;
    };
  }

  test::IsolatedProfile profile_;
  bool drawing_ = false;
  RunSettings settings_;
  Log log_;
  FakeWindows windows_{log_};
  StartupHooks hooks_;
  std::u16string app_dir_, downloads_, own_path_, marker_, desktop_;
  std::u16string started_program_, started_parameters_;
  bool marker_seen_ = false;
  bool marker_deletable_ = true;
};

TEST_F(StartupTest, FirstStartInstallsRelaunchesAndEnds) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(log_, (Log{"report 44", "start"}));
  EXPECT_EQ(started_program_, PathAppend(app_dir_, u"vexa_qmzt.exe"));
  EXPECT_EQ(SplitArguments(started_parameters_),
            (std::vector<std::u16string>{u"/C", u"281", u"/CC", u"407", u"/D", own_path_, u"/IB",
                                         u"VEXA-岚岫奇谭"}));
  EXPECT_TRUE(FileExists(PathAppend(app_dir_, u"qmzt_idata.inmk")));
  EXPECT_EQ(ReadShortcutArguments(ShortcutPath(desktop_, u"VEXA-岚岫奇谭")), u" /C 281 /CC 407");
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, SecondInstallReportsFifty) {
  ASSERT_EQ(Run({}), 0);
  log_.clear();
  RunSettings fresh;
  settings_ = fresh;
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(log_, (Log{"report 50", "start"}));
}

TEST_F(StartupTest, NoRunShowsTheBubbleAfterAPauseInstead) {
  EXPECT_EQ(Run({u"/R", u"NORUN"}), 0);
  EXPECT_EQ(log_, (Log{"report 44", "sleep 1000", "bubble VEXA-岚岫奇谭 5"}));
  EXPECT_TRUE(FileExists(PathAppend(app_dir_, u"vexa_qmzt.exe")));
}

TEST_F(StartupTest, NoInstallRunsInPlaceAndCleansUp) {
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  EXPECT_EQ(log_,
            (Log{"report 45", "worker start", "open", "launcher", "worker stop 1000", "close"}));
  EXPECT_FALSE(FileExists(PathAppend(app_dir_, u"vexa_qmzt.exe")));
  EXPECT_TRUE(marker_seen_);
  EXPECT_FALSE(marker_deletable_);
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, InstalledCopyDeletesTheDownloadAndShowsTheBubbleAfterTheWindows) {
  CreateDirectories(app_dir_);
  hooks_.install.own_path = PathAppend(app_dir_, u"vexa_qmzt.exe");
  test::WriteTestFile(hooks_.install.own_path, "installed");
  marker_ = MarkerPath(hooks_.install.own_path, settings_.GameCode);
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(RunStartup({hooks_.install.own_path, u"/C", u"281", u"/CC", u"407", u"/D", own_path_,
                        u"/IB", u"VEXA-岚岫奇谭"},
                       1, settings_, hooks_),
            1);
  EXPECT_EQ(log_, (Log{"delete " + ToUtf8(own_path_), "report 45", "worker start", "open",
                       "launcher", "bubble VEXA-岚岫奇谭 1", "worker stop 1000", "close"}));
  EXPECT_TRUE(marker_seen_);
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, StaleMarkerIsRemovedAndReportedAfterTheStartReport) {
  test::WriteTestFile(marker_, "");
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  ASSERT_GE(log_.size(), 2u);
  EXPECT_EQ(log_[0], "report 45");
  EXPECT_EQ(log_[1], "report 46");
  EXPECT_TRUE(marker_seen_);
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, MarkerOfARunningLauncherIsSharedNotDeleted) {
  const test::LockedFile other(marker_);
  ASSERT_TRUE(other.ok());
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  EXPECT_EQ(log_.at(0), "report 45");
  EXPECT_EQ(log_.at(1), "worker start");  // no "46"
  EXPECT_TRUE(marker_seen_);
  // Still the other launcher's: shutdown could not delete it either.
  EXPECT_TRUE(FileExists(marker_));
}

TEST_F(StartupTest, GameWindowThatCannotBeCreatedExitsWithZero) {
  windows_.launcher_runs_ = {[this] {
    settings_.ExitAfterLauncher = false;
    return kWindowClosed;
  }};
  windows_.game_runs_ = {[] { return kWindowNotCreated; }};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 0);
  EXPECT_EQ(log_, (Log{"report 45", "worker start", "open", "launcher", "game", "worker stop 1000",
                       "close"}));
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, UnusableFirstDirectoryFallsBackToTheSecond) {
  std::u16string drive_dir;
  ASSERT_TRUE(GetDriveClientDir(drive_dir));
  // A plain file where the first client directory should be.
  CreateDirectories(PathDirectory(app_dir_));
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(app_dir_), ignored);  // only when empty
  if (DirectoryExists(app_dir_)) GTEST_SKIP() << "client directory already exists";
  test::WriteTestFile(app_dir_, "in the way");
  EXPECT_EQ(Run({}), 0);
  RemoveFile(app_dir_);
  EXPECT_EQ(settings_.InstallDir, drive_dir);
  EXPECT_EQ(started_program_, PathAppend(drive_dir, u"vexa_qmzt.exe"));
  EXPECT_EQ(log_, (Log{"report 44", "start"}));
  RemoveFile(PathAppend(drive_dir, u"qmzt_idata.inmk"));
}

}  // namespace
}  // namespace fernlite
