#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace fernlite {
namespace {

TEST(IsProcessRunningLinux, FindsACopyOfAProgramByItsFileName) {
  test::TempDir dir;
  const std::u16string exe = dir.Join(u"LARKWAY.EXE");
  const auto sleep_binary = ReadFileBytes(u"/bin/sleep");
  ASSERT_TRUE(sleep_binary.has_value());
  test::WriteTestFile(exe, *sleep_binary);
  const std::string native = ToUtf8(exe);
  ASSERT_EQ(::chmod(native.c_str(), 0755), 0);

  ASSERT_FALSE(IsProcessRunning(u"larkway.exe")) << "another LARKWAY.EXE is already running";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Started under a different argv[0], so only the executable's own name can match.
    ::execl(native.c_str(), "sleeper", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The child becomes LARKWAY.EXE once exec has happened.
  bool seen = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!seen && std::chrono::steady_clock::now() < deadline) {
    seen = IsProcessRunning(u"larkway.exe");
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(seen);
  EXPECT_TRUE(IsProcessRunning(u"LarkWay.exe"));
  EXPECT_FALSE(IsProcessRunning(u"larkway"));

  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_FALSE(IsProcessRunning(u"larkway.exe"));
}

TEST(ProcessArgumentsLinux, ConvertsEveryElementFromUtf8) {
  char name[] = "/opt/app/vexa_qmzt.exe";
  char first[] = "/SN";
  char value[] = "VEXA-\xE5\xB2\x9A";
  char* argv[] = {name, first, value, nullptr};
  const auto args = ProcessArguments(3, argv);
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], u"/opt/app/vexa_qmzt.exe");
  EXPECT_EQ(args[1], u"/SN");
  EXPECT_EQ(args[2], u"VEXA-岚");
  EXPECT_TRUE(ProcessArguments(0, nullptr).empty());
}

}  // namespace
}  // namespace fernlite
