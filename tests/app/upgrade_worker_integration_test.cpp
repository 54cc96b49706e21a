// The worker thread against the development platform with the real HTTP client of each build:
// a stop during a download that crawls ends the transfer and the thread within about a second.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/file_version_platform.h"
#include "app/upgrade.h"
#include "app/upgrade_worker.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using Clock = std::chrono::steady_clock;

class WorkerAgainstPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform_.ok());
    const std::u16string upgrade_dir = PathAppend(platform_.root_dir(), u"upgrade");
    ASSERT_TRUE(CreateDirectories(upgrade_dir));
    // One byte every 200 ms: the whole file would take minutes.
    test::WriteTestFile(PathAppend(upgrade_dir, u"new.bin"), std::string(4096, 'N'));
    test::WriteTestFile(
        PathAppend(upgrade_dir, u"qmzt.xml"),
        "<Response><Result><distversion>1.0.0.2</distversion><url>" + ToUtf8(platform_.base_url()) +
            "/download/slow/new.bin</url><signature>Larkway Test Signer</signature>"
            "<fileLength>4096</fileLength><regionmin>0</regionmin><regionmax>10000</regionmax>"
            "</Result></Response>");
    exe_ = work_.Join(u"vexa_qmzt.exe");
    test::WriteTestFile(exe_, "old");
  }

  bool DownloadStarted() const {
    for (int i = 0; i < 1000; ++i) {
      if (!test::LogEntriesForPath(platform_.LogLines(), "/download/slow/new.bin").empty()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  test::DevPlatform platform_;
  test::TempDir work_;
  std::u16string exe_;
  // The running file is older than the described one, so the download is due.
  ScopedPlatform<FileVersionPlatform> version_{
      FileVersionPlatform{[](const std::u16string&) { return std::u16string(u"1.0.0.1"); }}};
};

TEST_F(WorkerAgainstPlatform, StopDuringADownloadEndsTheThreadWithinASecond) {
  UpgradeJob job;
  job.description_url = UpgradeDescriptionUrl(platform_.base_url(), u"qmzt");
  job.exe_path = exe_;
  job.game_code = u"qmzt";
  ASSERT_TRUE(StartUpgradeWorker(job));
  ASSERT_TRUE(DownloadStarted());
  // Well inside the transfer, with a few bytes already on their way.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ASSERT_TRUE(UpgradeWorkerRunning());

  const auto start = Clock::now();
  EXPECT_TRUE(StopUpgradeWorker(1000)) << "the thread should have ended, not been left";
  const auto took = Clock::now() - start;
  std::printf(
      "stop during the download returned after %lld ms\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  EXPECT_LT(took, std::chrono::milliseconds(1200));
  EXPECT_FALSE(UpgradeWorkerRunning());
  EXPECT_EQ(ReadFileBytes(exe_), "old");
  EXPECT_FALSE(FileExists(exe_ + u".o"));
}

}  // namespace
}  // namespace fernlite
