#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/test_env.h"
#include "net/http_fetch.h"
#include "net/user_agent.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Byte i of the server's generated bodies is i % 251.
bool IsPattern(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (static_cast<unsigned char>(bytes[i]) != i % 251) return false;
  }
  return true;
}

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform_.ok()) << "development platform did not start"; }

  std::u16string Url(std::u16string_view path) const {
    return platform_.base_url() + std::u16string(path);
  }
  std::u16string File(std::u16string_view name) const { return dir_.Join(name); }
  std::vector<test::JsonValue> Requests(std::string_view path) const {
    return test::LogEntriesForPath(platform_.LogLines(), path);
  }

  test::DevPlatform platform_;
  test::TempDir dir_;
};

TEST_F(FetchTest, WholeBodyWithKnownLengthIsWritten) {
  const std::u16string path = File(u"body.bin");
  test::WriteTestFile(path, std::string(300000, 'o'));  // replaced, not appended to
  ASSERT_TRUE(Fetch(Url(u"/test/bytes/100000"), path));
  const auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 100000u);
  EXPECT_TRUE(IsPattern(*bytes));
  // Discarding reads the same answer without a file.
  EXPECT_TRUE(Fetch(Url(u"/test/bytes/5000"), nullptr));
}

TEST_F(FetchTest, FailingStatusFailsBeforeTheFileIsTouched) {
  const std::u16string path = File(u"kept.txt");
  test::WriteTestFile(path, "earlier");
  EXPECT_FALSE(Fetch(Url(u"/no/such/page"), path));
  EXPECT_FALSE(Fetch(Url(u"/test/status/500"), path));
  EXPECT_FALSE(Fetch(Url(u"/test/status/307"), path));
  EXPECT_EQ(ReadFileBytes(path), "earlier");
  EXPECT_FALSE(Fetch(Url(u"/test/status/404"), File(u"never.txt")));
  EXPECT_FALSE(FileExists(File(u"never.txt")));
  ASSERT_EQ(Requests("/no/such/page").size(), 1u);
  EXPECT_EQ(Requests("/no/such/page")[0].Find("status")->number, 404);
}

TEST_F(FetchTest, RedirectIsASuccessfulAnswerAndNotFollowed) {
  const std::u16string path = File(u"redirect.txt");
  EXPECT_TRUE(Fetch(Url(u"/test/status/302"), path));
  EXPECT_EQ(ReadFileBytes(path), "status 302");
  EXPECT_TRUE(Fetch(Url(u"/test/status/301?location=/test/bytes/7"), nullptr));
  EXPECT_TRUE(Fetch(Url(u"/test/status/206"), nullptr));
  EXPECT_EQ(Requests("/test/status/302").size(), 1u);
  EXPECT_TRUE(Requests("/test/bytes/10").empty());
  EXPECT_TRUE(Requests("/test/bytes/7").empty());
}

TEST_F(FetchTest, ZeroLengthBodySucceedsWithAnEmptyFile) {
  const std::u16string path = File(u"empty.bin");
  test::WriteTestFile(path, "old content");
  ASSERT_TRUE(Fetch(Url(u"/test/bytes/0"), path));
  EXPECT_EQ(ReadFileBytes(path), "");
}

TEST_F(FetchTest, BodyCutShortFailsAndLeavesWhatArrived) {
  const std::u16string path = File(u"partial.bin");
  EXPECT_FALSE(Fetch(Url(u"/test/bytes/5000?length=10000"), path));
  const auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 5000u);
  EXPECT_TRUE(IsPattern(*bytes));
  EXPECT_FALSE(Fetch(Url(u"/test/bytes/0?length=10"), File(u"nothing.bin")));
  EXPECT_EQ(ReadFileBytes(File(u"nothing.bin")), "");
}

TEST_F(FetchTest, BodyWithoutLengthIsReadUntilTheServerCloses) {
  const std::u16string path = File(u"close.bin");
  ASSERT_TRUE(Fetch(Url(u"/test/bytes/70001?nolength=1"), path));
  const auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 70001u);
  EXPECT_TRUE(IsPattern(*bytes));
}

TEST_F(FetchTest, RefusedConnectionFailsAtOnce) {
  std::u16string dead_base;
  {
    test::DevPlatform gone;
    ASSERT_TRUE(gone.ok());
    dead_base = gone.base_url();
  }
  const auto start = Clock::now();
  EXPECT_FALSE(Fetch(dead_base + u"/test/bytes/10", File(u"refused.bin")));
  EXPECT_FALSE(FetchUncached(dead_base + u"/wd.php?x=1"));
  EXPECT_LT(Clock::now() - start, kReportLimits.connect + kDownloadLimits.connect);
  EXPECT_FALSE(FileExists(File(u"refused.bin")));
}

TEST_F(FetchTest, SilentServerEndsWithinTheIdleTimeout) {
  auto start = Clock::now();
  EXPECT_FALSE(FetchUncached(Url(u"/test/hang")));
  auto elapsed = Clock::now() - start;
  std::printf("report request to a silent server ended after %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(elapsed).count()));
  EXPECT_GE(elapsed, kReportLimits.idle - milliseconds(500));
  EXPECT_LT(elapsed, kReportLimits.idle + seconds(3));

  const FetchLimits short_limits{seconds(2), seconds(2)};
  start = Clock::now();
  EXPECT_FALSE(Fetch(Url(u"/test/hang"), File(u"hang.bin"), short_limits));
  elapsed = Clock::now() - start;
  EXPECT_LT(elapsed, short_limits.idle + seconds(3));
  EXPECT_FALSE(FileExists(File(u"hang.bin")));
  EXPECT_EQ(Requests("/test/hang").size(), 2u);
}

TEST_F(FetchTest, SlowButSteadyTransferOutlastsTheIdleLimit) {
  // Eight pieces 400 ms apart take about 2.8 s, longer than the whole 2 s idle limit.
  const FetchLimits limits{seconds(2), seconds(2)};
  const std::u16string path = File(u"trickle.bin");
  const auto start = Clock::now();
  ASSERT_TRUE(Fetch(Url(u"/test/trickle/4000?chunk=500&interval_ms=400"), path, limits));
  EXPECT_GT(Clock::now() - start, limits.idle);
  const auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 4000u);
  EXPECT_TRUE(IsPattern(*bytes));
}

TEST_F(FetchTest, ABodyBeyondTheCapFailsAndNothingBeyondItIsWritten) {
  FetchLimits limits = kDownloadLimits;
  limits.max_bytes = 100000;
  // Exactly the cap still arrives whole.
  ASSERT_TRUE(Fetch(Url(u"/test/bytes/100000"), File(u"cap.bin"), limits));
  EXPECT_EQ(FileSize(File(u"cap.bin")), std::optional<std::uint64_t>(100000));
  // Far more than the cap, without a length and announced: both end at the cap.
  const auto start = Clock::now();
  EXPECT_FALSE(Fetch(Url(u"/test/bytes/67108864?nolength=1"), File(u"endless.bin"), limits));
  EXPECT_LE(FileSize(File(u"endless.bin")).value_or(0), limits.max_bytes);
  EXPECT_FALSE(Fetch(Url(u"/test/bytes/67108864"), File(u"huge.bin"), limits));
  EXPECT_EQ(FileSize(File(u"huge.bin")).value_or(0), 0u);  // refused on its announced length
  EXPECT_LT(Clock::now() - start, seconds(10));
}

TEST_F(FetchTest, TheDeadlineEndsAServerThatKeepsTalking) {
  // A byte every 200 ms keeps every idle limit happy and would go on for minutes.
  FetchLimits limits{seconds(2), seconds(2)};
  limits.total = milliseconds(1500);
  const auto start = Clock::now();
  EXPECT_FALSE(Fetch(Url(u"/test/trickle/100000?chunk=1&interval_ms=200"), nullptr, limits));
  const auto elapsed = Clock::now() - start;
  EXPECT_LT(elapsed, limits.total + milliseconds(1500));
  // The same for an answer that never comes.
  const auto again = Clock::now();
  EXPECT_FALSE(Fetch(Url(u"/test/hang"), nullptr, limits));
  EXPECT_LT(Clock::now() - again, limits.total + milliseconds(1500));
}

TEST_F(FetchTest, OnlySilenceIsIdleAByteNowAndThenIsNot) {
  // Under one byte a second on average, but never silent for the idle limit: one rule on both
  // systems, the transfer finishes.
  const FetchLimits limits{seconds(2), seconds(2)};
  ASSERT_TRUE(Fetch(Url(u"/test/trickle/4?chunk=1&interval_ms=1200"), File(u"slow.bin"), limits));
  EXPECT_EQ(FileSize(File(u"slow.bin")), std::optional<std::uint64_t>(4));
}

TEST_F(FetchTest, CancelFlagEndsASlowTransferPromptly) {
  // 1 MiB in 1 KiB pieces 200 ms apart would take minutes.
  std::atomic<bool> cancel{false};
  FetchLimits limits = kDownloadLimits;
  limits.cancel = &cancel;
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(500));
    cancel = true;
  });
  const auto start = Clock::now();
  EXPECT_FALSE(
      Fetch(Url(u"/test/trickle/1048576?chunk=1024&interval_ms=200"), File(u"c.bin"), limits));
  const auto elapsed = Clock::now() - start;
  stopper.join();
  EXPECT_LT(elapsed, seconds(3));
}

TEST_F(FetchTest, CancelFlagEndsAWaitForAnAnswerThatNeverComes) {
  // The server accepts and stays silent: the request waits inside the client for the answer,
  // and only the flag can end the wait long before the 30 s idle limit.
  std::atomic<bool> cancel{false};
  FetchLimits limits = kDownloadLimits;
  limits.cancel = &cancel;
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(500));
    cancel = true;
  });
  const auto start = Clock::now();
  EXPECT_FALSE(Fetch(Url(u"/test/hang"), File(u"h.bin"), limits));
  const auto elapsed = Clock::now() - start;
  stopper.join();
  EXPECT_LT(elapsed, milliseconds(1500));
  // The next request on this thread still works.
  EXPECT_TRUE(Fetch(Url(u"/test/bytes/10"), nullptr));
}

TEST_F(FetchTest, SendsTheAssembledUserAgentOverHttp10) {
  const std::u16string path = File(u"ua.txt");
  ASSERT_TRUE(Fetch(Url(u"/test/ua?x=a+b/c==&y=%41"), path));
  EXPECT_EQ(ReadFileBytes(path), GetUserAgent());
  const auto requests = Requests("/test/ua");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Text("ua"), GetUserAgent());
  EXPECT_EQ(requests[0].Text("http"), "1.0");
  EXPECT_EQ(requests[0].Text("method"), "GET");
  // The query goes out exactly as given.
  EXPECT_EQ(requests[0].Text("query"), "x=a+b/c==&y=%41");
}

TEST_F(FetchTest, ProxySettingsOfTheEnvironmentAreIgnored) {
  test::ScopedEnv http_proxy("http_proxy", std::string("http://127.0.0.1:9"));
  test::ScopedEnv all_proxy("ALL_PROXY", std::string("http://127.0.0.1:9"));
  EXPECT_TRUE(Fetch(Url(u"/test/bytes/10"), nullptr));
}

TEST_F(FetchTest, UnusableUrlsFailWithoutARequest) {
  EXPECT_FALSE(Fetch(u"not a url", nullptr));
  EXPECT_FALSE(Fetch(u"ftp://127.0.0.1/x", nullptr));
  EXPECT_FALSE(FetchUncached(u""));
  // Nothing reached the server apart from the harness's own control requests.
  for (const auto& line : platform_.LogLines()) {
    const auto entry = test::ParseLogLine(line);
    ASSERT_TRUE(entry) << line;
    EXPECT_EQ(entry->Text("path").rfind("/control/", 0), 0u) << line;
  }
}

}  // namespace
}  // namespace fernlite
