#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/file_version_platform.h"
#include "app/shortcuts_platform.h"
#include "app/startup.h"
#include "app/startup_platform.h"
#include "app/upgrade_worker.h"
#include "fakes/fake_platform.h"
#include "fakes/isolated_profile.h"
#include "identity/client_paths.h"
#include "net/report.h"
#include "platform/files.h"
#include "platform/process.h"
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
    if (bubble_shown) bubble_shown();
    log_.push_back("bubble " + ToUtf8(label) + " " + std::to_string(show_command));
  }
  void Close() override { log_.push_back("close"); }

  // One entry per run: what the window does while open, and its result.
  std::vector<std::function<int()>> launcher_runs_, game_runs_;
  std::function<void()> bubble_shown;

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
  using Clock = std::chrono::steady_clock;

  void SetUp() override {
    // The test's own COM use (reading shortcuts back) outlives the sequence's.
    drawing_ = Platform<StartupPlatform>().start_services();
    ASSERT_TRUE(GetAppDataClientDir(app_dir_));
    downloads_ = profile_.scratch().Join(u"Downloads");
    CreateDirectories(downloads_);
    own_path_ = PathAppend(downloads_, u"vexa setup.exe");
    test::WriteTestFile(own_path_, "launcher");
    module_.Set(own_path_);
    marker_ = MarkerPath(own_path_, settings_.GameCode);
    desktop_ = profile_.scratch().Join(u"Desktop");
    CreateDirectories(desktop_);
    folders_ = std::make_unique<test::FakeShortcutFolders>(ShortcutFolders{desktop_, {}});
    settings_.FixedChannel = true;
    windows_.bubble_shown = [this] { bubble_at_ = Clock::now(); };
  }

  void TearDown() override {
    // Nothing may still be on its way to the collector below when it goes.
    Release();
    EXPECT_TRUE(DrainReports(std::chrono::seconds(10)));
    Platform<StartupPlatform>().stop_services(drawing_);
  }

  int Run(std::vector<std::u16string> switches, bool with_windows = true) {
    switches.insert(switches.begin(), own_path_);
    run_at_ = Clock::now();
    return RunStartup(switches, 5, settings_, with_windows ? &windows_ : nullptr);
  }
  // The events the statistics collector has been asked for, in order.
  std::vector<std::string> Reports() const {
    std::vector<std::string> events;
    for (const std::u16string& event : http_.Events()) events.push_back(ToUtf8(event));
    return events;
  }
  // The collector keeps every report request open until Release.
  void Hold() {
    std::lock_guard lock(collector_mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(collector_mutex_);
      held_ = false;
    }
    collector_changed_.notify_all();
  }
  int RequestsAnswered() {
    std::lock_guard lock(collector_mutex_);
    return answered_;
  }
  // The marker while the launcher is open: present, and not deletable by anyone else.
  std::function<int()> CheckMarkerHeld() {
    return [this] {
      marker_seen_ = FileExists(marker_);
      marker_deletable_ = RemoveFile(marker_);
      return kWindowClosed;
    };
  }
  // The upgrade worker runs beside the windows: it has asked for its description by now.
  bool WorkerAskedForTheDescription() {
    for (int i = 0; i < 200; ++i) {
      for (const std::u16string& url : http_.Urls()) {
        if (url.find(u"/game/wd/qmzt.xml") != std::u16string::npos) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  test::IsolatedProfile profile_;
  bool drawing_ = false;
  RunSettings settings_;
  Log log_;
  FakeWindows windows_{log_};
  std::u16string app_dir_, downloads_, own_path_, marker_, desktop_;
  bool marker_seen_ = false;
  bool marker_deletable_ = true;
  Clock::time_point run_at_{}, bubble_at_{};
  // The collector answers on the reporting thread (and the upgrade worker's requests on the
  // worker's): every report request fails, after `answer_delay_` or once released.
  std::mutex collector_mutex_;
  std::condition_variable collector_changed_;
  bool held_ = false;
  int answered_ = 0;
  std::chrono::milliseconds answer_delay_{0};
  test::FakeHttp http_{
      [this](const std::u16string& url, const std::u16string*, const FetchLimits&) {
        if (url.find(u"/jk/1.html?") == std::u16string::npos &&
            url.find(u"/wd.php?") == std::u16string::npos) {
          return false;
        }
        std::unique_lock lock(collector_mutex_);
        collector_changed_.wait_for(lock, std::chrono::seconds(20), [this] { return !held_; });
        const auto delay = answer_delay_;
        lock.unlock();
        std::this_thread::sleep_for(delay);
        lock.lock();
        ++answered_;
        return false;
      }};
  test::FakeProcesses processes_;
  test::FakeModulePath module_{u""};
  std::unique_ptr<test::FakeShortcutFolders> folders_;
  ScopedPlatform<FileVersionPlatform> version_{
      FileVersionPlatform{[](const std::u16string&) { return std::u16string(u"1.0.0.1"); }}};
};

TEST_F(StartupTest, FirstStartInstallsRelaunchesAndEnds) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(Reports(), (std::vector<std::string>{"44"}));
  ASSERT_EQ(processes_.Started().size(), 1u);
  EXPECT_EQ(processes_.Started()[0].program, PathAppend(app_dir_, u"vexa_qmzt.exe"));
  EXPECT_EQ(SplitArguments(processes_.Started()[0].parameters),
            (std::vector<std::u16string>{u"/C", u"281", u"/CC", u"407", u"/D", own_path_, u"/IB",
                                         u"VEXA-岚岫奇谭"}));
  EXPECT_TRUE(FileExists(PathAppend(app_dir_, u"qmzt_idata.inmk")));
  EXPECT_EQ(test::ReadShortcutArguments(ShortcutPath(desktop_, u"VEXA-岚岫奇谭")),
            u" /C 281 /CC 407");
  EXPECT_FALSE(FileExists(marker_));
  EXPECT_FALSE(UpgradeWorkerRunning());
}

TEST_F(StartupTest, SecondInstallReportsFifty) {
  ASSERT_EQ(Run({}), 0);
  RunSettings fresh;
  settings_ = fresh;
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Reports(), (std::vector<std::string>{"44", "50"}));
  EXPECT_EQ(processes_.Started().size(), 2u);
}

TEST_F(StartupTest, NoRunShowsTheBubbleAfterAPauseInstead) {
  EXPECT_EQ(Run({u"/R", u"NORUN"}), 0);
  EXPECT_EQ(log_, (Log{"bubble VEXA-岚岫奇谭 5"}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"44"}));
  EXPECT_GE(bubble_at_ - run_at_, std::chrono::milliseconds(kBubbleDelayMs));
  EXPECT_TRUE(processes_.Started().empty());
  EXPECT_TRUE(FileExists(PathAppend(app_dir_, u"vexa_qmzt.exe")));
}

TEST_F(StartupTest, NoInstallRunsInPlaceAndCleansUp) {
  bool worker_asked = false;
  windows_.launcher_runs_ = {[&] {
    worker_asked = WorkerAskedForTheDescription();
    return CheckMarkerHeld()();
  }};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  EXPECT_EQ(log_, (Log{"open", "launcher", "close"}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"45"}));
  EXPECT_TRUE(worker_asked);
  EXPECT_FALSE(UpgradeWorkerRunning());
  EXPECT_FALSE(FileExists(PathAppend(app_dir_, u"vexa_qmzt.exe")));
  EXPECT_TRUE(marker_seen_);
  EXPECT_FALSE(marker_deletable_);
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, InstalledCopyDeletesTheDownloadAndShowsTheBubbleAfterTheWindows) {
  CreateDirectories(app_dir_);
  const std::u16string installed = PathAppend(app_dir_, u"vexa_qmzt.exe");
  test::WriteTestFile(installed, "installed");
  module_.Set(installed);
  marker_ = MarkerPath(installed, settings_.GameCode);
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(RunStartup({installed, u"/C", u"281", u"/CC", u"407", u"/D", own_path_, u"/IB",
                        u"VEXA-岚岫奇谭"},
                       1, settings_, &windows_),
            1);
  EXPECT_EQ(log_, (Log{"open", "launcher", "bubble VEXA-岚岫奇谭 1", "close"}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"45"}));
  EXPECT_TRUE(marker_seen_);
  EXPECT_FALSE(FileExists(marker_));
  // The downloaded file goes in the background.
  for (int i = 0; i < 300 && FileExists(own_path_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(FileExists(own_path_));
}

TEST_F(StartupTest, StaleMarkerIsRemovedAndReportedAfterTheStartReport) {
  test::WriteTestFile(marker_, "");
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  EXPECT_EQ(Reports(), (std::vector<std::string>{"45", "46"}));
  EXPECT_TRUE(marker_seen_);
  EXPECT_FALSE(FileExists(marker_));
}

TEST_F(StartupTest, MarkerOfARunningLauncherIsSharedNotDeleted) {
  const test::LockedFile other(marker_);
  ASSERT_TRUE(other.ok());
  windows_.launcher_runs_ = {CheckMarkerHeld()};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  EXPECT_EQ(Reports(), (std::vector<std::string>{"45"}));  // no "46"
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
  EXPECT_EQ(log_, (Log{"open", "launcher", "game", "close"}));
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
  ASSERT_EQ(processes_.Started().size(), 1u);
  EXPECT_EQ(processes_.Started()[0].program, PathAppend(drive_dir, u"vexa_qmzt.exe"));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"44"}));
  RemoveFile(PathAppend(drive_dir, u"qmzt_idata.inmk"));
}

TEST_F(StartupTest, AHangingCollectorDoesNotHoldUpTheWindows) {
  Hold();
  Clock::duration to_launcher{};
  int answered_meanwhile = -1;
  windows_.launcher_runs_ = {[&] {
    to_launcher = Clock::now() - run_at_;
    answered_meanwhile = RequestsAnswered();
    Release();
    return kWindowClosed;
  }};
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  std::printf("launcher reached after %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(to_launcher).count()));
  EXPECT_LT(to_launcher, std::chrono::seconds(1));
  EXPECT_EQ(answered_meanwhile, 0);
  EXPECT_EQ(Reports(), (std::vector<std::string>{"45"}));
}

TEST_F(StartupTest, TheProcessEndsOnlyAfterItsReportsOrTheBound) {
  using std::chrono::milliseconds;
  // Without a display the launcher part ends at once; its report still reaches the collector.
  answer_delay_ = milliseconds(100);
  EXPECT_EQ(Run({u"/I", u"noinstall"}, false), 1);
  EXPECT_EQ(RequestsAnswered(), 2);
  answer_delay_ = milliseconds(0);

  // A collector that never answers costs the bound and no more, after the windows and after
  // an install without a relaunch alike.
  Hold();
  auto start = Clock::now();
  EXPECT_EQ(Run({u"/I", u"noinstall"}), 1);
  auto took = Clock::now() - start;
  EXPECT_GE(took, kReportDrainBound - milliseconds(50));
  EXPECT_LT(took, kReportDrainBound + std::chrono::seconds(3));
  EXPECT_EQ(RequestsAnswered(), 2);
  Release();
  ASSERT_TRUE(DrainReports(std::chrono::seconds(10)));

  Hold();
  windows_.bubble_shown = {};
  start = Clock::now();
  EXPECT_EQ(Run({u"/R", u"NORUN"}), 0);
  took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(kBubbleDelayMs) + kReportDrainBound - milliseconds(50));
  EXPECT_LT(took, milliseconds(kBubbleDelayMs) + kReportDrainBound + std::chrono::seconds(3));
  Release();
  ASSERT_TRUE(DrainReports(std::chrono::seconds(10)));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"45", "45", "44"}));
}

}  // namespace
}  // namespace fernlite
