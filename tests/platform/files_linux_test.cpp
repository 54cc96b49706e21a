#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <string>

#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using namespace std::chrono_literals;

// Runs `call` on a thread and waits a bounded time; a call that blocks is freed by opening the
// FIFO's other end, so the test fails instead of hanging.
template <typename Call>
bool FinishesInTime(const std::string& fifo, Call call) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(5s) == std::future_status::ready) return true;
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);
  done.wait();
  return false;
}

TEST(FilesOnLinux, AFifoInAFilesPlaceNeitherBlocksAReadNorARemoval) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"qmzt_udata.txt");
  const std::string native = ToUtf8(path);
  ASSERT_EQ(::mkfifo(native.c_str(), 0600), 0);

  std::optional<std::string> read = std::string("unset");
  EXPECT_TRUE(FinishesInTime(native, [&] { read = ReadFileBytes(path); }));
  EXPECT_FALSE(read.has_value());
  EXPECT_TRUE(FinishesInTime(native, [&] { read = ReadFileCreateIfMissing(path, 1024); }));
  EXPECT_FALSE(read.has_value());

  bool removed = false;
  EXPECT_TRUE(FinishesInTime(native, [&] { removed = RemoveFile(path); }));
  EXPECT_TRUE(removed);
  EXPECT_FALSE(FileExists(path));
}

// Names in the directory that start with the prefix.
int CountNames(const std::u16string& dir, const std::string& prefix) {
  int count = 0;
  DIR* listing = ::opendir(ToUtf8(dir).c_str());
  while (const dirent* entry = listing ? ::readdir(listing) : nullptr) {
    if (std::string_view(entry->d_name).starts_with(prefix)) ++count;
  }
  if (listing) ::closedir(listing);
  return count;
}

TEST(FilesOnLinux, KilledWritersLeaveTheOldOrTheNewTextAndNoTempFilesForLong) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"qmzt_udata.udat");
  const std::string first(200000, 'a'), second(300000, 'b');
  ASSERT_TRUE(WriteFileAtomic(path, first));
  std::minstd_rand random(7);
  for (int kill = 0; kill < 60; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) WriteFileAtomic(path, i % 2 ? first : second);
    }
    ::usleep(200 + random() % 3000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const auto text = ReadFileBytes(path);
    ASSERT_TRUE(text.has_value());
    ASSERT_TRUE(*text == first || *text == second) << "cut text of " << text->size() << " bytes";
  }
  // The next write clears what the killed writers left.
  ASSERT_TRUE(WriteFileAtomic(path, "done"));
  EXPECT_EQ(CountNames(dir.path(), "qmzt_udata.udat.tmp"), 0);
  EXPECT_EQ(ReadFileBytes(path), std::optional<std::string>("done"));
}

TEST(FilesOnLinux, OnlyTempFilesOfProcessesThatAreGoneAreRemoved) {
  test::TempDir dir;
  const std::u16string path = dir.Join(u"record.inmk");
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string live =
      ToUtf8(dir.Join(u"record.inmk.tmp" + FromUtf8(std::to_string(::getppid())) + u"-1"));
  const std::string dead =
      ToUtf8(dir.Join(u"record.inmk.tmp" + FromUtf8(std::to_string(gone)) + u"-7"));
  const std::string other = ToUtf8(dir.Join(u"record.inmk.tmpfile"));
  const std::string unrelated =
      ToUtf8(dir.Join(u"other.inmk.tmp" + FromUtf8(std::to_string(gone)) + u"-7"));
  for (const std::string& name : {live, dead, other, unrelated}) {
    test::WriteTestFile(FromUtf8(name), "x");
  }
  ASSERT_TRUE(WriteFileAtomic(path, "text"));
  EXPECT_TRUE(FileExists(FromUtf8(live)));  // its writer may still be at work
  EXPECT_FALSE(FileExists(FromUtf8(dead)));
  EXPECT_TRUE(FileExists(FromUtf8(other)));
  EXPECT_TRUE(FileExists(FromUtf8(unrelated)));
}

}  // namespace
}  // namespace fernlite
