#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
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

}  // namespace
}  // namespace fernlite
