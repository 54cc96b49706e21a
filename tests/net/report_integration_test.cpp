#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "app/run_settings.h"
#include "app/startup.h"
#include "app/version.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/fake_platform.h"
#include "fakes/isolated_profile.h"
#include "fakes/raw_http.h"
#include "fakes/test_env.h"
#include "identity/device_id.h"
#include "identity/user_data.h"
#include "net/http_fetch_platform.h"
#include "net/report.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {
namespace {

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform_.ok()) << "development platform did not start";
    env_ = std::make_unique<test::ScopedEnv>("FERNLITE_PLATFORM", ToUtf8(platform_.base_url()));
    saved_ = Settings();
    Settings().ChannelID = u"281";
    Settings().SubChannelID = u"407";
  }
  void TearDown() override { Settings() = saved_; }

  std::vector<test::JsonValue> Entries(std::string_view path) const {
    return test::LogEntriesForPath(platform_.LogLines(), path);
  }
  // Paths of the requests that arrived, oldest first, without the harness's control requests.
  std::vector<std::string> ArrivedPaths() const {
    std::vector<std::string> paths;
    for (const auto& line : platform_.LogLines()) {
      const auto entry = test::ParseLogLine(line);
      if (entry && entry->Text("path").rfind("/control/", 0) != 0)
        paths.push_back(entry->Text("path"));
    }
    return paths;
  }

  test::DevPlatform platform_;
  std::unique_ptr<test::ScopedEnv> env_;
  RunSettings saved_;
};

std::string FieldOf(const test::JsonValue& entry, std::string_view name) {
  const test::JsonValue* fields = entry.Find("fields");
  return fields ? fields->Text(name) : std::string("<no fields>");
}

TEST_F(ReportTest, BothCollectorsReceiveTheSameEvent) {
  const auto before = UnixTimeNow();
  QueueReport(u"45");
  const auto after = UnixTimeNow();
  ASSERT_TRUE(DrainReports());

  const auto data = Entries("/jk/1.html");
  const auto stats = Entries("/wd.php");
  ASSERT_EQ(data.size(), 1u);
  ASSERT_EQ(stats.size(), 1u);
  // The scrambled report goes first.
  EXPECT_EQ(ArrivedPaths(), (std::vector<std::string>{"/jk/1.html", "/wd.php"}));

  const std::string decoded = data[0].Text("decoded");
  std::printf("decoded: %s\nstats query: %s\n", decoded.c_str(), stats[0].Text("query").c_str());
  EXPECT_TRUE(data[0].Find("valid") && data[0].Find("valid")->boolean) << data[0].Text("error");
  EXPECT_TRUE(stats[0].Find("valid") && stats[0].Find("valid")->boolean) << stats[0].Text("error");
  EXPECT_TRUE(
      std::regex_match(decoded, std::regex("app=jk&t=wd&ev=45&ver=[0-9.]+&aid=qmzt&cid=281&ccid=407"
                                           "&puid=([0-9a-f]{32})?&etm=[0-9]+")))
      << decoded;

  const std::string version = ToUtf8(LauncherVersionText());
  const std::string device_id = ToAnsi(getdiskid::GetDeviceIdText());
  EXPECT_EQ(FieldOf(data[0], "ver"), version);
  EXPECT_EQ(FieldOf(data[0], "puid"), device_id);
  const auto time = std::stoul(FieldOf(data[0], "etm"));
  EXPECT_GE(time, before);
  EXPECT_LE(time, after);

  EXPECT_EQ(FieldOf(stats[0], "stat"), "45");
  EXPECT_EQ(FieldOf(stats[0], "ver"), version);
  EXPECT_EQ(FieldOf(stats[0], "gid"), "qmzt");
  EXPECT_EQ(FieldOf(stats[0], "cid"), "281");
  EXPECT_EQ(FieldOf(stats[0], "ccid"), "407");
  EXPECT_EQ(FieldOf(stats[0], "puid"), device_id);
  EXPECT_EQ(FieldOf(stats[0], "tm"), FieldOf(data[0], "etm"));
  EXPECT_EQ(stats[0].Text("ua"), data[0].Text("ua"));
}

TEST_F(ReportTest, EmptyChannelIsSentAsAnEmptyValue) {
  Settings().ChannelID.clear();
  QueueReport(u"50");
  ASSERT_TRUE(DrainReports());
  const auto data = Entries("/jk/1.html");
  ASSERT_EQ(data.size(), 1u);
  EXPECT_NE(data[0].Text("decoded").find("&ev=50&"), std::string::npos);
  EXPECT_NE(data[0].Text("decoded").find("&cid=&ccid=407&"), std::string::npos);
  ASSERT_EQ(Entries("/wd.php").size(), 1u);
  EXPECT_EQ(FieldOf(Entries("/wd.php")[0], "cid"), "");
}

TEST_F(ReportTest, TooLongScrambledUrlIsSkippedAndStatsStillSent) {
  Settings().SubChannelID = std::u16string(150, u'4');
  QueueReport(u"45");
  ASSERT_TRUE(DrainReports());
  EXPECT_TRUE(Entries("/jk/1.html").empty());
  const auto stats = Entries("/wd.php");
  ASSERT_EQ(stats.size(), 1u);
  EXPECT_EQ(FieldOf(stats[0], "ccid"), std::string(150, '4'));
}

TEST_F(ReportTest, StaleMarkerReportsEvent46) {
  test::TempDir dir;
  const std::u16string marker = dir.Join(u"qmzt_mark.mrk");
  EXPECT_TRUE(DeleteStaleFile(marker, QueueReport));  // nothing there: nothing sent
  ASSERT_TRUE(DrainReports());
  EXPECT_TRUE(ArrivedPaths().empty());

  test::WriteTestFile(marker, "");
  EXPECT_FALSE(DeleteStaleFile(marker, QueueReport));
  ASSERT_TRUE(DrainReports());
  const auto data = Entries("/jk/1.html");
  const auto stats = Entries("/wd.php");
  ASSERT_EQ(data.size(), 1u);
  ASSERT_EQ(stats.size(), 1u);
  EXPECT_EQ(FieldOf(data[0], "ev"), "46");
  EXPECT_EQ(FieldOf(stats[0], "stat"), "46");
}

TEST(ReportWithoutNetwork, EndsQuietly) {
  std::u16string dead_base;
  {
    test::DevPlatform gone;
    ASSERT_TRUE(gone.ok());
    dead_base = gone.base_url();
  }
  test::ScopedEnv env("FERNLITE_PLATFORM", ToUtf8(dead_base));
  const auto start = std::chrono::steady_clock::now();
  QueueReport(u"45");
  // Refused at once: well within the bound the process waits at its end.
  EXPECT_TRUE(DrainReports());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::printf("report without a platform took %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

using Clock = std::chrono::steady_clock;

// Windows that only note when the launcher came up, and close it at once.
class NotingWindows : public LauncherWindows {
 public:
  void Open() override {}
  int RunLauncher() override {
    launcher_at = Clock::now();
    return kWindowClosed;
  }
  int RunGameWindow() override { return kWindowNotCreated; }
  void ShowBubble(const std::u16string&, int) override {}
  void Close() override {}
  Clock::time_point launcher_at{};
};

long long Ms(Clock::duration duration) {
  return static_cast<long long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

TEST(StalledCollector, TheLauncherOpensAtOnceAndTheEndWaitsOnlyTheBound) {
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  for (const char* behaviour : {"/silent", "/slow-head"}) {
    auto platform = std::make_unique<test::DevPlatform>();
    ASSERT_TRUE(platform->ok());
    const auto answer = test::ParseRawResponse(
        test::SendRawHttp(platform->port(),
                          "GET /test/hostile-port HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")
            .bytes);
    ASSERT_EQ(answer.status, 200);
    const auto hostile =
        SplitUrl(u"http://127.0.0.1:" + FromUtf8(answer.body) + FromUtf8(behaviour));
    ASSERT_TRUE(hostile);

    // The real client, with every report request sent to the misbehaving listener; anything
    // else (the upgrade check) fails at once.
    HttpPlatform http = Platform<HttpPlatform>();
    http.get = [real = http.get, to = *hostile](const UrlParts& url, const std::u16string* file,
                                                const FetchLimits& limits) {
      const bool report =
          url.object.rfind(u"/jk/1.html?", 0) == 0 || url.object.rfind(u"/wd.php?", 0) == 0;
      return report && real(to, file, limits);
    };
    ScopedPlatform<HttpPlatform> redirected(std::move(http));
    test::IsolatedProfile profile;
    const std::u16string exe = profile.scratch().Join(u"vexa_qmzt.exe");
    test::FakeModulePath module(exe);
    RunSettings settings;
    NotingWindows windows;

    const auto start = Clock::now();
    EXPECT_EQ(RunStartup({exe, u"/I", u"noinstall"}, 1, settings, &windows), 1);
    const auto end = Clock::now();
    std::printf("%-10s launcher after %lld ms, process end after %lld ms\n", behaviour,
                Ms(windows.launcher_at - start), Ms(end - start));
    EXPECT_LT(windows.launcher_at - start, seconds(1)) << behaviour;
    EXPECT_GE(end - windows.launcher_at, kReportDrainBound - milliseconds(50)) << behaviour;
    EXPECT_LT(end - start, kReportDrainBound + seconds(3)) << behaviour;

    // With the listener gone the requests end, and the next case starts with an idle thread.
    platform.reset();
    EXPECT_TRUE(DrainReports(kReportLimits.total + seconds(5))) << behaviour;
  }
}

}  // namespace
}  // namespace fernlite
