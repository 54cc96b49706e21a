#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "identity/device_id.h"
#include "net/report.h"
#include "net/report_queue.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// A collector that records every url and can be told to hold its answers.
class Collector {
 public:
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  // Returns once a request is being answered (or was), false after `limit`.
  bool WaitForRequest(milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return !urls_.empty(); });
  }
  std::vector<std::u16string> Urls() const {
    std::lock_guard lock(mutex_);
    return urls_;
  }

  // One event's context; the device identifier differs on every read, so an event whose urls
  // were built from two reads shows it.
  ReportContext Context(std::uint32_t time, milliseconds answer_delay = milliseconds(0)) {
    ReportContext context;
    context.data_base = u"http://jk.test";
    context.stats_base = u"http://tj.test";
    context.fields.version = u"1.0.0.1";
    context.fields.game_code = u"qmzt";
    context.fields.channel = u"281";
    context.fields.sub_channel = u"407";
    context.fields.time = time;
    context.device_id = [this] {
      std::lock_guard lock(mutex_);
      return u"dev" + FromUtf8(std::to_string(device_reads_++));
    };
    context.fetch = [this, answer_delay](const std::u16string& url) {
      return Answer(url, answer_delay);
    };
    return context;
  }

  // Records the url, waits while held, then fails the request after `delay`.
  bool Answer(const std::u16string& url, milliseconds delay = milliseconds(0)) {
    std::unique_lock lock(mutex_);
    urls_.push_back(url);
    changed_.notify_all();
    // A safety limit only: every test releases its collector long before.
    changed_.wait_for(lock, seconds(30), [this] { return !held_; });
    lock.unlock();
    std::this_thread::sleep_for(delay);
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::u16string> urls_;
  bool held_ = false;
  int device_reads_ = 0;
};

ReportFields Expected(const char16_t* event, std::uint32_t time, int device_read) {
  ReportFields fields;
  fields.event = event;
  fields.version = u"1.0.0.1";
  fields.game_code = u"qmzt";
  fields.channel = u"281";
  fields.sub_channel = u"407";
  fields.device_id = u"dev" + FromUtf8(std::to_string(device_read));
  fields.time = time;
  return fields;
}

TEST(ReportQueue, SendsEventsInQueueOrderEachDataThenStatsWithOneSetOfValues) {
  Collector collector;
  ReportQueue queue;
  EXPECT_FALSE(queue.ThreadStarted());
  EXPECT_TRUE(queue.Drain(milliseconds(0)));  // nothing queued: nothing to wait for
  EXPECT_FALSE(queue.ThreadStarted());

  const char16_t* events[] = {u"45", u"46", u"50"};
  for (std::uint32_t i = 0; i < 3; ++i) queue.Queue(events[i], collector.Context(1000 + i));
  EXPECT_TRUE(queue.ThreadStarted());
  ASSERT_TRUE(queue.Drain(seconds(10)));

  const auto urls = collector.Urls();
  ASSERT_EQ(urls.size(), 6u);
  for (std::uint32_t i = 0; i < 3; ++i) {
    const ReportFields expected = Expected(events[i], 1000 + i, static_cast<int>(i));
    EXPECT_EQ(urls[2 * i], DataCollectorUrl(u"http://jk.test", expected).value()) << i;
    EXPECT_EQ(urls[2 * i + 1], StatsCollectorUrl(u"http://tj.test", expected)) << i;
  }
}

TEST(ReportQueue, CallerGoesOnWhileACollectorHangsAndTheDrainKeepsItsBound) {
  Collector collector;
  collector.Hold();
  ReportQueue queue;
  const auto start = Clock::now();
  queue.Queue(u"45", collector.Context(1));
  queue.Queue(u"46", collector.Context(2));
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  ASSERT_TRUE(collector.WaitForRequest(seconds(10)));

  const milliseconds bound(300);
  const auto drain_start = Clock::now();
  EXPECT_FALSE(queue.Drain(bound));
  const auto waited = Clock::now() - drain_start;
  EXPECT_GE(waited, bound - milliseconds(20));
  EXPECT_LT(waited, bound + seconds(2));
  EXPECT_EQ(collector.Urls().size(), 1u);  // still in the first request

  // A drain that ran out drops nothing: once the collector answers, everything goes out.
  collector.Release();
  EXPECT_TRUE(queue.Drain(seconds(10)));
  const auto urls = collector.Urls();
  ASSERT_EQ(urls.size(), 4u);
  EXPECT_NE(urls[2].find(u"/jk/1.html?"), std::u16string::npos);
  EXPECT_NE(urls[3].find(u"&stat=46&"), std::u16string::npos);
}

TEST(ReportQueue, AReportOnItsWayIsWaitedForNotLost) {
  // Drained right after queueing, and once the thread has taken the report and is in its
  // first request: either way the drain returns only after both requests.
  for (int round = 0; round < 10; ++round) {
    Collector collector;
    ReportQueue queue;
    queue.Queue(u"45", collector.Context(1, milliseconds(20)));
    if (round % 2 == 1) {
      ASSERT_TRUE(collector.WaitForRequest(seconds(10)));
    }
    ASSERT_TRUE(queue.Drain(seconds(10))) << round;
    ASSERT_EQ(collector.Urls().size(), 2u) << round;
  }
}

TEST(QueueReport, ValuesAreReadWhenQueuedNotWhenSent) {
  Collector collector;
  collector.Hold();
  // The first report holds the reporting thread while the next one is queued and the
  // settings change behind it.
  test::FakeHttp http([&collector](const std::u16string& url, const std::u16string*,
                                   const FetchLimits&) { return collector.Answer(url); });
  struct LetGoAtEnd {
    Collector& collector;
    ~LetGoAtEnd() {
      collector.Release();
      DrainReports(seconds(10));
    }
  } let_go{collector};
  const RunSettings saved = Settings();
  Settings().ChannelID = u"281";
  QueueReport(u"45");
  ASSERT_TRUE(collector.WaitForRequest(seconds(10)));
  const std::uint32_t before = UnixTimeNow();  // the clock the reports read
  QueueReport(u"46");
  const std::uint32_t after = UnixTimeNow();
  Settings().ChannelID = u"999";
  collector.Release();
  const bool drained = DrainReports(seconds(10));
  Settings() = saved;
  ASSERT_TRUE(drained);

  const auto urls = collector.Urls();
  ASSERT_EQ(urls.size(), 4u);
  const std::string stats = ToUtf8(urls[3]);
  EXPECT_NE(stats.find("&stat=46&"), std::string::npos) << stats;
  EXPECT_NE(stats.find("&cid=281&"), std::string::npos) << stats;
  const auto time = std::stoul(stats.substr(stats.rfind("&tm=") + 4));
  EXPECT_GE(time, before);
  EXPECT_LE(time, after);
  // The identifier is the process's one, in both requests of every event.
  const std::string device = "&puid=" + ToAnsi(getdiskid::GetDeviceIdText()) + "&";
  EXPECT_NE(ToUtf8(urls[1]).find(device), std::string::npos) << ToUtf8(urls[1]);
  EXPECT_NE(stats.find(device), std::string::npos) << stats;
}

}  // namespace
}  // namespace fernlite
