#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/delete_file_worker.h"
#include "fakes/test_env.h"
#include "platform/files.h"

namespace fernlite {
namespace {

// A file held open by someone else until `unlock_at_ms` of fake time.
struct FakeFile {
  explicit FakeFile(int unlock_at) : unlock_at_ms(unlock_at) {}
  int unlock_at_ms;
  int now_ms = 0;
  int attempts = 0;
  std::vector<int> sleeps;
  bool deleted = false;

  bool TryDelete(const std::u16string& path) {
    EXPECT_EQ(path, u"C:\\Downloads\\setup.exe");
    ++attempts;
    if (now_ms < unlock_at_ms) return false;
    deleted = true;
    return true;
  }
  void Sleep(int ms) {
    sleeps.push_back(ms);
    now_ms += ms;
  }
  bool Run() {
    return RunDeleteAttempts(
        u"C:\\Downloads\\setup.exe", [this](const std::u16string& p) { return TryDelete(p); },
        [this](int ms) { Sleep(ms); });
  }
};

TEST(RunDeleteAttempts, DeletesOnceTheLockIsGone) {
  FakeFile file{1500};
  EXPECT_TRUE(file.Run());
  EXPECT_TRUE(file.deleted);
  // Attempts at 0, 200, ... 1400 fail; the one at 1600 succeeds, with no sleep after it.
  EXPECT_EQ(file.attempts, 9);
  EXPECT_EQ(file.sleeps, std::vector<int>(8, 200));
}

TEST(RunDeleteAttempts, FirstAttemptSucceedsWithoutSleeping) {
  FakeFile file{0};
  EXPECT_TRUE(file.Run());
  EXPECT_EQ(file.attempts, 1);
  EXPECT_TRUE(file.sleeps.empty());
}

TEST(RunDeleteAttempts, GivesUpAfterTenAttempts) {
  FakeFile file{1 << 30};
  EXPECT_FALSE(file.Run());
  EXPECT_FALSE(file.deleted);
  EXPECT_EQ(file.attempts, 10);
  EXPECT_EQ(file.sleeps, std::vector<int>(10, 200));  // the last failure sleeps too
}

TEST(RunDeleteAttempts, ThrowingAttemptCountsAsFailure) {
  int attempts = 0;
  int sleeps = 0;
  const bool deleted = RunDeleteAttempts(
      u"x",
      [&](const std::u16string&) -> bool {
        if (++attempts < 3) throw std::runtime_error("busy");
        return true;
      },
      [&](int) { ++sleeps; });
  EXPECT_TRUE(deleted);
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(sleeps, 2);
}

bool WaitUntilGone(const std::u16string& path, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (FileExists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST(StartDeleteFileWorker, DeletesRealFileInBackground) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"downloaded.exe");
  test::WriteTestFile(path, "MZ");
  ASSERT_TRUE(FileExists(path));
  StartDeleteFileWorker(path);
  EXPECT_TRUE(WaitUntilGone(path, std::chrono::seconds(3)));
}

TEST(StartDeleteFileWorker, WaitsForALockedFile) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"in use.exe");
  test::WriteTestFile(path, "MZ");
  {
    test::LockedFile lock(path);
    ASSERT_TRUE(lock.ok());
    const auto started = std::chrono::steady_clock::now();
    StartDeleteFileWorker(path);
    // Starting the worker does not wait for it.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(150));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_TRUE(FileExists(path));
  }
  EXPECT_TRUE(WaitUntilGone(path, std::chrono::seconds(3)));
}

TEST(StartDeleteFileWorker, GivesUpOnAFileThatStaysLocked) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"kept.exe");
  test::WriteTestFile(path, "MZ");
  {
    test::LockedFile lock(path);
    ASSERT_TRUE(lock.ok());
    StartDeleteFileWorker(path);
    // Ten attempts 200 ms apart are over after about two seconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  }
  // The worker has stopped trying: the now unlocked file stays.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_TRUE(FileExists(path));
}

}  // namespace
}  // namespace fernlite
