#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "app/run_settings.h"
#include "app/version.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/test_env.h"
#include "identity/device_id.h"
#include "identity/user_data.h"
#include "net/report.h"
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
  Report(u"45");
  const auto after = UnixTimeNow();

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
  Report(u"50");
  const auto data = Entries("/jk/1.html");
  ASSERT_EQ(data.size(), 1u);
  EXPECT_NE(data[0].Text("decoded").find("&ev=50&"), std::string::npos);
  EXPECT_NE(data[0].Text("decoded").find("&cid=&ccid=407&"), std::string::npos);
  ASSERT_EQ(Entries("/wd.php").size(), 1u);
  EXPECT_EQ(FieldOf(Entries("/wd.php")[0], "cid"), "");
}

TEST_F(ReportTest, TooLongScrambledUrlIsSkippedAndStatsStillSent) {
  Settings().SubChannelID = std::u16string(150, u'4');
  Report(u"45");
  EXPECT_TRUE(Entries("/jk/1.html").empty());
  const auto stats = Entries("/wd.php");
  ASSERT_EQ(stats.size(), 1u);
  EXPECT_EQ(FieldOf(stats[0], "ccid"), std::string(150, '4'));
}

TEST_F(ReportTest, StaleMarkerReportsEvent46) {
  test::TempDir dir;
  const std::u16string marker = dir.Join(u"qmzt_mark.mrk");
  EXPECT_TRUE(DeleteStaleFile(marker, Report));  // nothing there: nothing sent
  EXPECT_TRUE(ArrivedPaths().empty());

  test::WriteTestFile(marker, "");
  EXPECT_FALSE(DeleteStaleFile(marker, Report));
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
  Report(u"45");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::printf("report without a platform took %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
}  // namespace fernlite
