// The whole flow against the development platform, under a display (Xvfb in the test script):
// the launcher shows the guest entry page, the page keeps the guest and asks for the game, the
// game window opens with the guest caption, a new-window request ends up as a signed link in
// the desktop's default browser, and closing the windows brings back the launcher and then
// ends the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "build_config.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/raw_http.h"
#include "fakes/test_env.h"
#include "game/guest_link.h"
#include "platform/files.h"
#include "platform/text.h"
#include "app/shortcuts.h"

// Last: it brings Xlib, whose macros would rename what the headers above declare.
#include "fakes/accessible_desktop_linux.h"

extern char** environ;

namespace fernlite {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The launcher executable of this build tree: the test binaries sit below it.
fs::path LauncherExecutable() {
  const std::string name = ToUtf8(build::kExeName).substr(0, ToUtf8(build::kExeName).find(".exe"));
  for (fs::path dir = fs::path(ToUtf8(GetModulePath())).parent_path(); !dir.empty();
       dir = dir.parent_path()) {
    if (fs::exists(dir / name)) return dir / name;
    if (dir == dir.root_path()) break;
  }
  return {};
}

// The launcher as a child process: commands on its standard input, events on its output.
class LauncherProcess {
 public:
  bool Start(const fs::path& exe, const std::vector<std::string>& env,
             std::vector<std::string> switches = {"/I", "noinstall"}) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> args{exe.string()};
    args.insert(args.end(), switches.begin(), switches.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_copy = env;
    for (auto& e : env_copy) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    return rc == 0;
  }

  ~LauncherProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
  }

  void Send(const std::string& command) {
    const std::string line = command + "\n";
    ASSERT_EQ(write(input_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }

  // Waits for an output line that starts with `prefix`; returns it, or "" after the timeout.
  // Lines read while waiting are kept in the transcript.
  std::string WaitFor(const std::string& prefix, int timeout_ms = 90000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      while (next_ < lines_.size()) {
        const std::string& line = lines_[next_++];
        if (line.rfind(prefix, 0) == 0) return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || !ReadMore(static_cast<int>(left.count()))) return "";
    }
  }

  // Exit code after the process ended by itself, -1 when it did not end in time.
  int WaitExit(int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ReadMore(50);
    }
    return -1;
  }

  std::string Transcript() const {
    std::string all;
    for (const auto& line : lines_) all += line + "\n";
    return all;
  }

 private:
  bool ReadMore(int timeout_ms) {
    pollfd fd{output_, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(output_, buffer, sizeof buffer);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      lines_.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
    }
    return true;
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int input_ = -1, output_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The recorded addresses, one per line, once at least one is there.
std::vector<std::string> WaitForRecordedUrls(const fs::path& record, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Clock::now() < deadline) {
    std::vector<std::string> urls;
    std::istringstream lines(ReadText(record));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) urls.push_back(line);
    if (!urls.empty()) return urls;
    usleep(100 * 1000);
  }
  return {};
}

// The launcher's environment: a home and XDG folders of its own under `root` (which must exist
// with home, data, config and cache in it), the development platform, test events.
std::vector<std::string> ChildEnvironment(const fs::path& root, const test::DevPlatform& platform) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    for (const char* drop : {"HOME=", "XDG_", "FERNLITE_", "ASAN_OPTIONS=", "BROWSER="})
      if (entry.rfind(drop, 0) == 0) goto skip;
    env.push_back(entry);
  skip:;
  }
  env.push_back("HOME=" + (root / "home").string());
  env.push_back("XDG_DATA_HOME=" + (root / "data").string());
  env.push_back("XDG_CONFIG_HOME=" + (root / "config").string());
  env.push_back("XDG_CACHE_HOME=" + (root / "cache").string());
  env.push_back("FERNLITE_PLATFORM=" + ToUtf8(platform.base_url()));
  env.push_back("FERNLITE_TEST_EVENTS=1");
  // WebKit and its libraries keep caches for the life of the process.
  env.push_back("ASAN_OPTIONS=detect_leaks=0");
  return env;
}

TEST(LauncherEndToEnd, GuestPlaysClosesGameAndLauncherComesBackThenEnds) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (scripts/test runs it under Xvfb)";
  const fs::path exe = LauncherExecutable();
  ASSERT_FALSE(exe.empty()) << "launcher executable not found above the test binary";
  test::DevPlatform platform;
  ASSERT_TRUE(platform.ok());

  test::TempDir dir;
  const fs::path root = ToUtf8(dir.path());
  const fs::path app = root / "app", home = root / "home", data = root / "data",
                 config = root / "config", record = root / "opened.txt";
  fs::create_directories(app);
  fs::create_directories(data / "applications");
  fs::create_directories(config);
  fs::create_directories(home);
  fs::create_directories(root / "cache");
  const fs::path installed = app / exe.filename();
  fs::copy_file(exe, installed);

  // The desktop's default browser, replaced by a script that writes down what it was given.
  const fs::path recorder = root / "record-url";
  std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record.string() << "'\n";
  fs::permissions(recorder, fs::perms::owner_all);
  std::ofstream(data / "applications" / "fernlite-record-url.desktop")
      << "[Desktop Entry]\nType=Application\nName=Record URL\nExec=" << recorder.string()
      << " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\nNoDisplay=true\n";
  std::ofstream(config / "mimeapps.list")
      << "[Default Applications]\nx-scheme-handler/http=fernlite-record-url.desktop\n"
         "x-scheme-handler/https=fernlite-record-url.desktop\n";

  const std::vector<std::string> env = ChildEnvironment(root, platform);

  LauncherProcess launcher;
  ASSERT_TRUE(launcher.Start(installed, env));
  const std::string title = ToUtf8(build::kGameTitle);
  const fs::path marker = app / (ToUtf8(build::kGameCode) + "_mark.mrk");

  ASSERT_NE(launcher.WaitFor("mapped: " + title), "") << launcher.Transcript();
  EXPECT_TRUE(fs::exists(marker));
  ASSERT_NE(launcher.WaitFor("loaded: " + ToUtf8(platform.base_url()) + "/guest/c1/?gid="), "")
      << launcher.Transcript();

  // The page keeps the guest (SetGuestInfo), then asks for the game as "gst".
  launcher.Send(
      "eval /guest/c1/ document.getElementById('keep-guest').click();"
      "document.getElementById('play-guest').click();");
  ASSERT_NE(launcher.WaitFor("unmapped: " + title), "") << launcher.Transcript();
  // The page asked as "gst": the window takes the guest caption and the page's title.
  const std::string request = launcher.WaitFor("game window: ");
  EXPECT_EQ(request.rfind("game window: guest, " + ToUtf8(platform.base_url()) + "/game/?sid=1", 0),
            0u)
      << launcher.Transcript();
  ASSERT_NE(launcher.WaitFor("mapped: " + title + " - 一区 · 云岫初开"), "")
      << launcher.Transcript();
  ASSERT_NE(launcher.WaitFor("loaded: " + ToUtf8(platform.base_url()) + "/game/?sid=1"), "")
      << launcher.Transcript();

  // A new-window request from the game goes to the default browser as a signed guest link.
  launcher.Send("eval /game/ document.querySelector('a[target=_blank]').click();");
  const std::vector<std::string> opened = WaitForRecordedUrls(record, 60000);
  ASSERT_EQ(opened.size(), 1u) << launcher.Transcript();
  const std::string link_prefix = ToUtf8(platform.base_url()) + "/guest/link.php?";
  ASSERT_EQ(opened[0].rfind(link_prefix, 0), 0u) << opened[0];
  EXPECT_NE(opened[0].find("goto=" + ToUtf8(PercentEncodeUtf8(platform.base_url())) +
                           "%2Fguest%2Fnotice%2Ehtml"),
            std::string::npos)
      << opened[0];
  const test::RawResponse answer = test::ParseRawResponse(
      test::SendRawHttp(platform.port(), "GET " +
                                             opened[0].substr(ToUtf8(platform.base_url()).size()) +
                                             " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")
          .bytes);
  EXPECT_EQ(answer.status, 200) << answer.body;

  // Closing the game window brings back a launcher; closing that one ends the program.
  launcher.Send("close /game/");
  ASSERT_NE(launcher.WaitFor("mapped: " + title), "") << launcher.Transcript();
  ASSERT_NE(launcher.WaitFor("loaded: " + ToUtf8(platform.base_url()) + "/guest/c1/"), "")
      << launcher.Transcript();
  launcher.Send("close /guest/c1/");
  EXPECT_EQ(launcher.WaitExit(60000), 1) << launcher.Transcript();
  EXPECT_FALSE(fs::exists(marker));

  const auto lines = platform.LogLines();
  const auto data_reports = test::LogEntriesForPath(lines, "/jk/1.html");
  const auto stat_reports = test::LogEntriesForPath(lines, "/wd.php");
  auto has_event = [](const std::vector<test::JsonValue>& entries, const char* key) {
    for (const auto& entry : entries) {
      const test::JsonValue* fields = entry.Find("fields");
      if (fields && fields->Text(key) == "45") return true;
    }
    return false;
  };
  EXPECT_TRUE(has_event(data_reports, "ev")) << data_reports.size() << " data reports";
  EXPECT_TRUE(has_event(stat_reports, "stat")) << stat_reports.size() << " statistics reports";
}

// The bubble beside a desktop icon: the stand-in desktop shows the icon on a private
// accessibility bus, the test looks at the bubble's window and clicks it through X.
class LauncherBubble : public ::testing::Test {
 protected:
  // One bus for the suite: the accessibility library keeps its first connection for good.
  static void SetUpTestSuite() {
    if (!std::getenv("DISPLAY")) return;
    bus_ = new test::AccessibilityBus;
    bus_ready_ = bus_->Start();
  }
  static void TearDownTestSuite() {
    if (bus_) bus_->Stop();
    delete bus_;
    bus_ = nullptr;
  }

  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    exe_ = LauncherExecutable();
    ASSERT_FALSE(exe_.empty());
    ASSERT_TRUE(platform_.ok());
    ASSERT_TRUE(bus_ready_) << "no private accessibility bus";
    ASSERT_TRUE(screen_.display());
    root_ = ToUtf8(dir_.path());
    for (const char* sub : {"app", "home/Desktop", "data", "config", "cache"})
      fs::create_directories(root_ / sub);
    installed_ = root_ / "app" / exe_.filename();
    fs::copy_file(exe_, installed_);
  }
  void TearDown() override { desktop_.Stop(); }

  // The desktop with one icon, once the bus shows it; its screen rectangle.
  Rect ShowIcon(const std::string& label, int x, int y) {
    EXPECT_TRUE(
        desktop_.Start({FERNLITE_TEST_DESKTOP_PATH, label, std::to_string(x), std::to_string(y)}));
    EXPECT_TRUE(desktop_.WaitLine("ready"));
    const std::optional<Rect> at = test::ParseAt(desktop_.WaitLine("at " + label));
    EXPECT_TRUE(at.has_value());
    EXPECT_TRUE(test::WaitUntil(30000, [&] { return FindIconRect(label).has_value(); }));
    return at.value_or(Rect{});
  }

  // The bubble on screen, waited for.
  std::optional<test::Screen::Found> WaitForBubble(int ms) {
    std::optional<test::Screen::Found> found;
    test::WaitUntil(ms, [&] { return (found = screen_.ViewableBubble()).has_value(); });
    return found;
  }

  // Presses the button of a bubble standing right of its icon, once it has faded in.
  void PressButton(const test::Screen::Found& bubble) {
    usleep(800 * 1000);
    screen_.MoveTo(bubble.rect.left + 125 + 33, bubble.rect.top + 47);
    usleep(100 * 1000);
    screen_.Button(true);
    usleep(50 * 1000);
    screen_.Button(false);
  }

  bool Reported(const char* path, const char* event) {
    for (const auto& entry : test::LogEntriesForPath(platform_.LogLines(), path)) {
      const test::JsonValue* fields = entry.Find("fields");
      if (fields && fields->Text(path[1] == 'j' ? "ev" : "stat") == event) return true;
    }
    return false;
  }

  fs::path exe_, root_, installed_;
  test::DevPlatform platform_;
  test::TempDir dir_;
  static inline test::AccessibilityBus* bus_ = nullptr;
  static inline bool bus_ready_ = false;
  test::Screen screen_;
  test::Child desktop_;
};

TEST_F(LauncherBubble, TheBubbleAskedForWithIBPointsAtItsIconAfterTheWindowsClose) {
  const Rect icon = ShowIcon("QmztIcon", 300, 200);
  LauncherProcess launcher;
  ASSERT_TRUE(launcher.Start(installed_, ChildEnvironment(root_, platform_),
                             {"/I", "noinstall", "/IB", "QmztIcon"}));
  const std::string title = ToUtf8(build::kGameTitle);
  ASSERT_NE(launcher.WaitFor("loaded: " + ToUtf8(platform_.base_url()) + "/guest/c1/"), "")
      << launcher.Transcript();
  EXPECT_FALSE(screen_.ViewableBubble().has_value());
  launcher.Send("close /guest/c1/");
  ASSERT_NE(launcher.WaitFor("unmapped: " + title), "") << launcher.Transcript();

  const auto bubble = WaitForBubble(20000);
  ASSERT_TRUE(bubble.has_value()) << launcher.Transcript();
  EXPECT_EQ(bubble->rect.left, icon.right - 10);
  EXPECT_EQ(bubble->rect.top, icon.top);
  EXPECT_EQ(launcher.WaitExit(0), -1);  // the bubble holds the process
  PressButton(*bubble);
  EXPECT_EQ(launcher.WaitExit(20000), 1) << launcher.Transcript();
}

TEST_F(LauncherBubble, AnInstallThatDoesNotRunTheCopyShowsTheBubbleForItsShortcutAndEnds) {
  // The desktop shows the shortcut the install is about to make under this name.
  const std::string label = ToUtf8(kShortcutPrefixVexa + std::u16string(build::kGameTitle));
  const Rect icon = ShowIcon(label, 200, 100);
  LauncherProcess launcher;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(launcher.Start(installed_, ChildEnvironment(root_, platform_), {"/R", "norun"}));

  const auto bubble = WaitForBubble(30000);
  ASSERT_TRUE(bubble.has_value()) << launcher.Transcript();
  // After the pause that follows the install.
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
  EXPECT_EQ(bubble->rect.left, icon.right - 10);
  EXPECT_EQ(bubble->rect.top, icon.top);
  PressButton(*bubble);
  EXPECT_EQ(launcher.WaitExit(20000), 0) << launcher.Transcript();
  // The install was reported and its shortcut is there; the launcher itself never ran.
  EXPECT_TRUE(Reported("/wd.php", "44") || Reported("/wd.php", "50"));
  EXPECT_FALSE(Reported("/jk/1.html", "45"));
  EXPECT_FALSE(Reported("/wd.php", "45"));
  bool shortcut = false;
  for (const auto& entry : fs::directory_iterator(root_ / "home" / "Desktop"))
    shortcut = shortcut || entry.path().filename().string().find("VEXA-") == 0;
  EXPECT_TRUE(shortcut);
}

}  // namespace
}  // namespace fernlite
