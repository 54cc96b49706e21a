// The client against servers that break HTTP on purpose (the development platform's hostile
// listener): every transfer ends within its bound, with bounded memory and disk, on both
// clients.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fakes/dev_platform.h"
#include "fakes/raw_http.h"
#include "fakes/test_env.h"
#include "net/http_fetch.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

class HostileServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform_.ok());
    const auto answer = test::ParseRawResponse(
        test::SendRawHttp(platform_.port(),
                          "GET /test/hostile-port HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")
            .bytes);
    ASSERT_EQ(answer.status, 200);
    port_ = std::stoi(answer.body);
    ASSERT_GT(port_, 0);
  }

  std::u16string Url(const char* path) const {
    return u"http://127.0.0.1:" + FromUtf8(std::to_string(port_)) + FromUtf8(path);
  }

  test::DevPlatform platform_;
  test::TempDir dir_;
  int port_ = 0;
};

TEST_F(HostileServer, EveryMisbehaviourEndsWithinTheBoundAndTheCap) {
  FetchLimits limits{seconds(2), seconds(2)};
  limits.total = seconds(3);
  limits.max_bytes = 256 * 1024;
  // The server sends hundreds of megabytes in these few seconds: a client that kept what it
  // receives, or the endless headers, would show here.
  const std::uint64_t peak_before = test::PeakMemoryBytes();
  ASSERT_GT(peak_before, 0u);
  for (const char* path : {"/endless", "/endless-length", "/slow-head", "/slow-body", "/silent",
                           "/early-close", "/garbage-status", "/huge-headers"}) {
    const std::u16string file = dir_.Join(u"body.bin");
    const auto start = Clock::now();
    const bool fetched = Fetch(Url(path), file, limits);
    // WinINet takes an answer without a status line as an old-style body; it still ends at
    // once and within the cap. Everything else must fail.
    if (std::string_view(path) != "/garbage-status") {
      EXPECT_FALSE(fetched) << path;
    }
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    std::printf("%-16s ended after %5lld ms, %llu bytes on disk\n", path,
                static_cast<long long>(elapsed.count()),
                static_cast<unsigned long long>(FileSize(file).value_or(0)));
    EXPECT_LT(elapsed, limits.total + seconds(2)) << path;
    EXPECT_LE(FileSize(file).value_or(0), limits.max_bytes) << path;
    RemoveFile(file);
    const std::uint64_t grown = test::PeakMemoryBytes() - peak_before;
#ifdef _WIN32
    // Known and open: Wine's WinINet keeps reading a head without end into memory on the
    // abandoned thread; neither its timeouts nor closing its handles from another thread stop
    // it.
    if (std::string_view(path) == "/huge-headers") break;
#endif
    EXPECT_LT(grown, 32u * 1024 * 1024) << path << " raised the peak by " << grown << " bytes";
  }
}

TEST_F(HostileServer, AReportCannotBeHeldPastItsDeadline) {
  // A collector that keeps the answer's head coming, two bytes a second.
  const auto start = Clock::now();
  EXPECT_FALSE(FetchUncached(Url("/slow-head")));
  EXPECT_LT(Clock::now() - start, kReportLimits.total + seconds(2));
}

TEST_F(HostileServer, AHeadThatTricklesInCountsAsSilenceEvenWithoutADeadline) {
  // As the upgrade worker's executable download: a stop flag, no deadline. Its body may be slow,
  // but a head two bytes a second, for ever, must not hold it.
  std::atomic<bool> stop{false};
  FetchLimits limits{seconds(1), seconds(2)};
  limits.cancel = &stop;
  const auto start = Clock::now();
  EXPECT_FALSE(Fetch(Url("/slow-head"), dir_.Join(u"n.bin"), limits));
  EXPECT_LT(Clock::now() - start, limits.connect + limits.idle + seconds(2));
}

}  // namespace
}  // namespace fernlite
