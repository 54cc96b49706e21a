// Power cuts, approximated by SIGKILL at random points: a killed save of the identity record
// and a killed executable swap leave something the next start can use.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/upgrade.h"
#include "app/upgrade_platform.h"
#include "fakes/isolated_profile.h"
#include "fakes/test_env.h"
#include "identity/client_paths.h"
#include "identity/device_id.h"
#include "identity/identity_record.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using test::TempDir;

constexpr int kKills = 150;

// Runs `work` forever in a child and kills it after a random pause of up to `span_us` more
// than a start.
template <typename Work>
void KillDuring(std::minstd_rand& random, Work work, unsigned span_us = 4000) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (;;) work();
  }
  ::usleep(300 + static_cast<unsigned>(random() % span_us));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

class KilledRecordSave : public ::testing::Test {
 protected:
  void SetUp() override {
    std::u16string dir;
    ASSERT_TRUE(GetAppDataClientDir(dir));
    ASSERT_TRUE(CreateDirectories(dir));
    // Computed once here, so the children inherit it instead of probing the disks.
    ASSERT_FALSE(getdiskid::GetDeviceIdText().empty());
  }

  static CIdentityRecord Make() {
    return CIdentityRecord(u"fltest", u"281", u"407", u"1.0.0.1", u"fltest.exe", true);
  }

  // Both copies of the record live in this throw-away home.
  test::IsolatedProfile profile_;
};

TEST_F(KilledRecordSave, TheNextLoadReadsTheRecordAndTheCountNeverGoesBack) {
  // The pauses span a few loads and saves as this machine makes them (a sanitizer build on a slow
  // disk is many times slower than a plain one), so kills land everywhere in a save and some saves
  // complete.
  const auto started = std::chrono::steady_clock::now();
  {
    auto first = Make();
    ASSERT_TRUE(first.Load());
    ASSERT_TRUE(first.Save());
  }
  const auto cycle_us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
  const auto span_us = static_cast<unsigned>(std::clamp<long long>(4 * cycle_us, 4000, 2000000));
  std::minstd_rand random(11);
  int last_count = 1;
  for (int kill = 0; kill < kKills; ++kill) {
    KillDuring(
        random,
        [] {
          auto record = Make();
          if (record.Load()) record.Save();
        },
        span_us);
    auto next = Make();
    ASSERT_TRUE(next.Load()) << "kill " << kill << ": the copies disagree";
    const int count = next.GetInstallCount();
    ASSERT_GE(count, last_count) << "kill " << kill;
    last_count = count;
  }
  std::printf("one load and save %lld us; kills within %u us of a start; saves completed: %d\n",
              static_cast<long long>(cycle_us), span_us + 300, last_count - 1);
  EXPECT_GT(last_count, 1) << "no save ever completed in a child";
}

class KilledSwap : public ::testing::TestWithParam<bool> {
 protected:
  std::string Read(const std::u16string& path) { return ReadFileBytes(path).value_or("<none>"); }
};

// Both ways of swapping: one rename over the running file, and the two moves through ".o" of a
// system that cannot replace a running file.
TEST_P(KilledSwap, TheExecutableIsAlwaysOneWholeVersionAfterTheNextStart) {
  UpgradePlatform upgrade = Platform<UpgradePlatform>();
  upgrade.replace_running_in_place = GetParam();
  ScopedPlatform<UpgradePlatform> scoped(upgrade);

  TempDir dir;
  const std::u16string exe = dir.Join(u"vexa_qmzt");
  const std::vector<std::string> versions = {std::string(30000, 'a'), std::string(20000, 'b')};
  test::WriteTestFile(exe, versions[0]);
  std::minstd_rand random(23);
  int put_back = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    KillDuring(random, [&, turn = 0]() mutable {
      // An upgrade brings the other version; the start after it clears ".o".
      test::WriteTestFile(exe + u".n", versions[static_cast<size_t>(++turn % 2)]);
      SwapExecutables(exe);
      RemoveOldExecutable(exe);
    });
    // What the next start does first.
    if (RemoveOldExecutable(exe) == 3) ++put_back;
    const std::string text = Read(exe);
    ASSERT_TRUE(text == versions[0] || text == versions[1])
        << "kill " << kill << ": " << text.size() << " bytes at the executable's path";
    EXPECT_FALSE(FileExists(exe + u".o")) << "kill " << kill;
  }
  std::printf("cut between the two moves and put back: %d of %d\n", put_back, kKills);
}

INSTANTIATE_TEST_SUITE_P(BothWays, KilledSwap, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "InPlace" : "ThroughOld"; });

}  // namespace
}  // namespace fernlite
