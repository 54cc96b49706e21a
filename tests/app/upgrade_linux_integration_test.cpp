#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/upgrade.h"
#include "app/upgrade_platform.h"
#include "app/upgrade_signer_linux.h"
#include "app/upgrade_worker.h"
#include "fakes/dev_platform.h"
#include "fakes/test_env.h"
#include "net/http_fetch.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using namespace std::string_literals;

// The worker against the development platform: real fetches and the real signature check,
// with the test root as the extra trusted certificate.
class UpgradeAgainstPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform_.ok());
    upgrade_dir_ = PathAppend(platform_.root_dir(), u"upgrade");
    ASSERT_TRUE(CreateDirectories(upgrade_dir_));
    exe_ = work_.Join(u"vexa_qmzt");
    test::WriteTestFile(exe_, "old launcher FERNLITE-VERSION:1.0.0.1\0"s);
    ::chmod(ToUtf8(exe_).c_str(), 0755);
    new_exe_ = "new launcher FERNLITE-VERSION:1.0.0.2\0 payload"s;
    test::WriteTestFile(PathAppend(upgrade_dir_, u"new.bin"), new_exe_);
    const std::string dir = ToUtf8(upgrade_dir_);
    ASSERT_EQ(std::system(("cd '" + dir +
                           "' && sh " FERNLITE_TEST_DATA_DIR
                           "/make-upgrade-certs >/dev/null 2>&1 && openssl cms -sign -binary "
                           "-in new.bin -signer leaf.pem -inkey leaf.key -outform DER "
                           "-out new.bin.p7s")
                              .c_str()),
              0);
    ca_file_ = dir + "/root.pem";
  }

  void Describe(const std::string& url_path, const std::string& version, long length) {
    const std::string xml =
        "<Response><State>1</State><Result><gid>qmzt</gid><distversion>" + version +
        "</distversion><url>" + ToUtf8(platform_.base_url()) + url_path +
        "</url><signature>Larkway Test Signer</signature><fileLength>" + std::to_string(length) +
        "</fileLength><regionmin>0</regionmin><regionmax>10000</regionmax></Result></Response>";
    test::WriteTestFile(PathAppend(upgrade_dir_, u"qmzt.xml"), xml);
  }

  // The real worker with the test root trusted for the signature.
  bool Start() {
    UpgradeJob job;
    job.exe_path = exe_;
    job.game_code = u"qmzt";
    job.description_url = UpgradeDescriptionUrl(platform_.base_url(), u"qmzt");
    job.wait_ms = 50;
    return StartUpgradeWorker(job);
  }

  bool WaitForWorkerEnd(int ms) {
    for (int i = 0; i < ms / 10 && UpgradeWorkerRunning(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !UpgradeWorkerRunning();
  }

  test::DevPlatform platform_;
  test::TempDir work_;
  std::u16string upgrade_dir_, exe_;
  std::string new_exe_, ca_file_;
  ScopedPlatform<UpgradePlatform> signer_{
      UpgradePlatform{u".p7s", [this](const std::u16string& file, const std::u16string& signature) {
                        return VerifiedSignerName(file, signature, ca_file_);
                      }}};
};

TEST_F(UpgradeAgainstPlatform, DueUpgradeIsDownloadedVerifiedAndSwappedIn) {
  test::WriteTestFile(exe_ + u".o", "left from last time");
  Describe("/download/new.bin", "1.0.0.2", static_cast<long>(new_exe_.size()));
  ASSERT_TRUE(Start());
  EXPECT_TRUE(WaitForWorkerEnd(10000)) << "the new version should end the worker";
  StopUpgradeWorker(1000);
  EXPECT_EQ(ReadFileBytes(exe_), new_exe_);
  EXPECT_EQ(ReadFileBytes(exe_ + u".o"), "old launcher FERNLITE-VERSION:1.0.0.1\0"s);
  struct stat st {};
  ASSERT_EQ(::stat(ToUtf8(exe_).c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_TRUE(FileExists(work_.Join(u"qmzt_upgrade.xml")));
}

TEST_F(UpgradeAgainstPlatform, WrongSizeOrUntrustedSignerLeavesTheLauncher) {
  Describe("/download/new.bin", "1.0.0.2", static_cast<long>(new_exe_.size()) + 1);
  ASSERT_TRUE(Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_TRUE(UpgradeWorkerRunning()) << "a failed download is retried";
  StopUpgradeWorker(1000);
  EXPECT_EQ(ReadFileBytes(exe_), "old launcher FERNLITE-VERSION:1.0.0.1\0"s);

  // Signed by a self-made certificate with the right name.
  ASSERT_EQ(std::system(("cd '" + ToUtf8(upgrade_dir_) +
                         "' && openssl cms -sign -binary -in new.bin -signer self.pem -inkey "
                         "self.key -outform DER -out new.bin.p7s")
                            .c_str()),
            0);
  Describe("/download/new.bin", "1.0.0.2", 0);
  ASSERT_TRUE(Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  StopUpgradeWorker(1000);
  EXPECT_EQ(ReadFileBytes(exe_), "old launcher FERNLITE-VERSION:1.0.0.1\0"s);
}

TEST_F(UpgradeAgainstPlatform, NotDueEndsAfterOneCheck) {
  Describe("/download/new.bin", "1.0.0.1", 0);
  ASSERT_TRUE(Start());
  EXPECT_TRUE(WaitForWorkerEnd(5000));
  StopUpgradeWorker(1000);
  EXPECT_EQ(ReadFileBytes(exe_), "old launcher FERNLITE-VERSION:1.0.0.1\0"s);
}

TEST_F(UpgradeAgainstPlatform, ShutdownDuringASlowDownloadReturnsWithinASecond) {
  Describe("/download/slow/new.bin", "1.0.0.2", 0);
  ASSERT_TRUE(Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(UpgradeWorkerRunning());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(StopUpgradeWorker(1000)) << "the thread should have ended, not been left";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1300));
  EXPECT_EQ(ReadFileBytes(exe_), "old launcher FERNLITE-VERSION:1.0.0.1\0"s);
}

}  // namespace
}  // namespace fernlite
