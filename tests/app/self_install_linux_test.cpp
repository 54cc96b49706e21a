#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/self_install.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "net/report.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace fernlite {
namespace {

class SelfInstallLinux : public ::testing::Test {
 protected:
  void SetUp() override {
    own_ = dir_.Join(u"setup.exe");
    test::WriteTestFile(own_, "bytes");
    module_.Set(own_);
  }
  // An install's report may still be on its way to the collector below.
  void TearDown() override { EXPECT_TRUE(DrainReports(std::chrono::seconds(10))); }
  test::TempDir dir_;
  std::u16string own_;
  test::FakeModulePath module_{u""};
  test::FakeHttp http_;
  RunSettings settings_;
};

TEST_F(SelfInstallLinux, UndeterminableClientDirectoryFails) {
  const test::ScopedEnv home("HOME", std::nullopt);
  const test::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstallFailed);
  EXPECT_EQ(SelfInstall(ClientDir::kDrive, true, settings_), kInstallFailed);
  EXPECT_TRUE(settings_.InstallDir.empty());
  EXPECT_TRUE(http_.Urls().empty());
}

TEST_F(SelfInstallLinux, UncreatableClientDirectoryFails) {
  test::WriteTestFile(dir_.Join(u"plain"), "x");
  const test::ScopedEnv data("XDG_DATA_HOME", ToUtf8(dir_.Join(u"plain")));
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, true, settings_), kInstallFailed);
  EXPECT_EQ(settings_.InstallDir,
            PathAppend(PathAppend(dir_.Join(u"plain"), u"Larkway"), u"Fernhall"));
  EXPECT_TRUE(http_.Urls().empty());
}

TEST_F(SelfInstallLinux, DirectoryDifferingOnlyInCaseIsAnotherDirectory) {
  const test::ScopedEnv data("XDG_DATA_HOME", ToUtf8(dir_.path()));
  const std::u16string upper = PathAppend(PathAppend(dir_.path(), u"LARKWAY"), u"Fernhall");
  CreateDirectories(upper);
  const std::u16string inside = PathAppend(upper, settings_.ExeName);
  module_.Set(inside);
  test::WriteTestFile(inside, "bytes");
  EXPECT_EQ(SelfInstall(ClientDir::kAppData, false, settings_), kInstalled);
}

TEST_F(SelfInstallLinux, CopyIsExecutableAndReplacesARunningFile) {
  const std::u16string to = dir_.Join(u"copy.exe");
  test::WriteTestFile(to, "old");
  ::chmod(ToUtf8(own_).c_str(), 0755);
  ASSERT_TRUE(CopyFileReplacing(own_, to));
  EXPECT_EQ(ReadFileBytes(to), "bytes");
  struct stat st {};
  ASSERT_EQ(::stat(ToUtf8(to).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(SelfInstallLinux, StartedProgramReceivesTheSplitParameters) {
  // A shell script stands in for the installed copy and writes its arguments one per line.
  const std::u16string script = dir_.Join(u"copy with blank");
  const std::u16string out = dir_.Join(u"args.txt");
  test::WriteTestFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                  ToUtf8(out) + ".tmp\"\nmv \"" + ToUtf8(out) + ".tmp\" \"" +
                                  ToUtf8(out) + "\"\n");
  ::chmod(ToUtf8(script).c_str(), 0755);
  ASSERT_TRUE(StartProgram(
      script, RelaunchParameters(u" /C 281 /CC 407", u"/tmp/a b/setup.exe", u"VEXA-岚岫奇谭")));
  for (int i = 0; i < 100 && !FileExists(out); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  EXPECT_EQ(ReadFileBytes(out), "/C\n281\n/CC\n407\n/D\n/tmp/a b/setup.exe\n/IB\nVEXA-岚岫奇谭\n");
  EXPECT_FALSE(StartProgram(dir_.Join(u"missing"), u""));
}

}  // namespace
}  // namespace fernlite
