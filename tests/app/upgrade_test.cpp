#include "app/upgrade.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/upgrade_worker.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using test::TempDir;
using test::WriteTestFile;

// ---- numbers, hash, versions ----

TEST(UpgradeNumbers, LeadingIntReadsLikeAtoi) {
  EXPECT_EQ(LeadingInt("42"), 42);
  EXPECT_EQ(LeadingInt("  -17abc"), -17);
  EXPECT_EQ(LeadingInt("+8"), 8);
  EXPECT_EQ(LeadingInt("x12"), 0);
  EXPECT_EQ(LeadingInt(""), 0);
  EXPECT_EQ(LeadingInt("-"), 0);
  EXPECT_EQ(LeadingInt("99999999999"), 2147483647);
  EXPECT_EQ(LeadingInt("-99999999999"), -2147483647 - 1);
}

TEST(UpgradeNumbers, RsHashMatchesReferenceValues) {
  // Reference values computed independently of this code.
  EXPECT_EQ(RsHash(""), 0u);
  EXPECT_EQ(RsHash("a"), 97u);
  EXPECT_EQ(RsHash("0123456789abcdef0123456789abcdef"), 756725280u);
  // Bytes above 0x7F count as negative.
  EXPECT_EQ(RsHash("\xe5\xb2\x9a\xe5\xb2\xab"), 1108375315u);
  EXPECT_EQ(RolloutValue("0123456789abcdef0123456789abcdef"), 5280);
  EXPECT_EQ(RolloutValue("\xe5\xb2\x9a\xe5\xb2\xab"), 5315);
}

TEST(UpgradeVersions, ParsesFourPartsAndRefusesFewerDots) {
  EXPECT_EQ(ParseVersion("3.3.0.4"), (Version{3, 3, 0, 4}));
  EXPECT_EQ(ParseVersion("1.2.3.4.5"), (Version{1, 2, 3, 4}));  // remainder read as one part
  EXPECT_EQ(ParseVersion("1..x.7b"), (Version{1, 0, 0, 7}));
  EXPECT_FALSE(ParseVersion("3.3"));
  EXPECT_FALSE(ParseVersion("3.3.0"));
  EXPECT_FALSE(ParseVersion(""));
}

TEST(UpgradeVersions, FirstDifferingComponentDecides) {
  EXPECT_TRUE(RunningIsOlder({1, 0, 0, 1}, {1, 0, 0, 2}));
  EXPECT_TRUE(RunningIsOlder({1, 9, 9, 9}, {2, 0, 0, 0}));
  EXPECT_FALSE(RunningIsOlder({3, 3, 0, 4}, {3, 3, 0, 4}));
  // A newer launcher is never replaced by an older file, whatever its later components say.
  EXPECT_FALSE(RunningIsOlder({2, 0, 0, 0}, {1, 9, 9, 9}));
  EXPECT_FALSE(RunningIsOlder({3, 4, 0, 0}, {3, 3, 5, 0}));
  EXPECT_FALSE(RunningIsOlder({3, 4, 5, 0}, {3, 3, 5, 0}));
  EXPECT_TRUE(RunningIsOlder({3, 3, 4, 9}, {3, 3, 5, 0}));
}

// ---- description ----

constexpr char kDescription[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Response><State>1</State><Message>ok</Message><Result>"
    "<gid>qmzt</gid><distversion>1.0.0.2</distversion>"
    "<url>http://127.0.0.1:1/download/vexa_qmzt.exe</url>"
    "<signature>Larkway Test Signer</signature><fileLength>1234</fileLength>"
    "<regionmin>0</regionmin><regionmax>10000</regionmax></Result></Response>";

TEST(UpgradeDescription, ReadsEveryField) {
  UpgradeInfo info;
  ASSERT_TRUE(ParseUpgradeDescriptionText(kDescription, info));
  EXPECT_EQ(info.DistVersion, "1.0.0.2");
  EXPECT_EQ(info.Url, "http://127.0.0.1:1/download/vexa_qmzt.exe");
  EXPECT_EQ(info.Signature, "Larkway Test Signer");
  EXPECT_EQ(info.FileLength, 1234);
  EXPECT_EQ(info.RegionMin, 0);
  EXPECT_EQ(info.RegionMax, 10000);
}

TEST(UpgradeDescription, AbsentKeepsEmptyClearsBrokenKeeps) {
  UpgradeInfo info;
  ASSERT_TRUE(ParseUpgradeDescriptionText(kDescription, info));
  // Root name is not checked; an empty element clears, an absent one keeps, numbers read
  // their leading digits.
  ASSERT_TRUE(ParseUpgradeDescriptionText(
      "<x><Result><signature/><fileLength>12ab</fileLength><regionmax>-5</regionmax></Result></x>",
      info));
  EXPECT_EQ(info.Signature, "");
  EXPECT_EQ(info.FileLength, 12);
  EXPECT_EQ(info.RegionMax, -5);
  EXPECT_EQ(info.DistVersion, "1.0.0.2");
  EXPECT_EQ(info.Url, "http://127.0.0.1:1/download/vexa_qmzt.exe");

  // An element whose first child is not text reads as empty.
  ASSERT_TRUE(
      ParseUpgradeDescriptionText("<x><Result><url><b>no</b>text</url></Result></x>", info));
  EXPECT_EQ(info.Url, "");

  const UpgradeInfo before = info;
  EXPECT_FALSE(ParseUpgradeDescriptionText("<x><Result><url>a</url>", info));
  EXPECT_FALSE(ParseUpgradeDescriptionText("<x><Other><url>a</url></Other></x>", info));
  EXPECT_FALSE(ParseUpgradeDescriptionText("not xml", info));
  EXPECT_EQ(info.Url, before.Url);
  EXPECT_EQ(info.DistVersion, before.DistVersion);
}

TEST(UpgradeDescription, ReadsFromFile) {
  TempDir dir;
  UpgradeInfo info;
  EXPECT_FALSE(ParseUpgradeDescription(dir.Join(u"missing.xml"), info));
  WriteTestFile(dir.Join(u"d.xml"), kDescription);
  ASSERT_TRUE(ParseUpgradeDescription(dir.Join(u"d.xml"), info));
  EXPECT_EQ(info.FileLength, 1234);
}

TEST(UpgradeDescription, AddressesAndCopyPath) {
  EXPECT_EQ(UpgradeDescriptionUrl(u"http://h:8", u"qmzt"), u"http://h:8/game/wd/qmzt.xml");
  const std::u16string exe = PathAppend(PathAppend(u"base", u"dir"), u"vexa_qmzt.exe");
  EXPECT_EQ(UpgradeDescriptionCopyPath(exe, u"qmzt"),
            PathAppend(PathAppend(u"base", u"dir"), u"qmzt_upgrade.xml"));
}

// ---- decision, download, swap, worker with fakes ----

constexpr char16_t kDeviceId[] = u"0123456789abcdef0123456789abcdef";  // rollout value 5280
constexpr char kSigner[] = "Larkway Test Signer";

struct Fake {
  TempDir dir;
  std::u16string exe = dir.Join(u"vexa_qmzt.exe");
  std::u16string running_version = u"1.0.0.1";
  std::string description = kDescription;
  bool description_ok = true;
  std::string download = std::string(1234, 'N');
  bool download_ok = true;
  std::optional<std::string> signer = std::string(kSigner);
  std::vector<std::u16string> fetched;
  int fail_rename_to_exe = 0;  // fail renames onto the executable path this many times

  UpgradeEnvironment Env() {
    UpgradeEnvironment env;
    env.description_url = u"http://platform/game/wd/qmzt.xml";
    env.exe_path = exe;
    env.game_code = u"qmzt";
    env.wait_ms = 5;
    env.fetch = [this](const std::u16string& url, const std::u16string& path) {
      fetched.push_back(url);
      const bool is_description = url.ends_with(u".xml");
      if (is_description ? !description_ok : !download_ok) return false;
      WriteTestFile(path, is_description ? description : download);
      return true;
    };
    env.file_version = [this](const std::u16string& path) {
      return path == exe && FileExists(exe) ? running_version : std::u16string();
    };
    env.signer_name = [this](const std::u16string&, const std::u16string&) { return signer; };
    env.rename = [this](const std::u16string& from, const std::u16string& to) {
      if (to == exe && fail_rename_to_exe > 0) {
        --fail_rename_to_exe;
        return false;
      }
      return RenameFileNoReplace(from, to);
    };
    env.device_id = [] { return std::u16string(kDeviceId); };
    env.wait = [](std::uint32_t) { return true; };
    env.stopped = [] { return false; };
    return env;
  }
  UpgradeInfo Info() {
    UpgradeInfo info;
    ParseUpgradeDescriptionText(description, info);
    info.ExePath = exe;
    return info;
  }
};

TEST(UpgradeDecision, RegionBoundsVersionAndPath) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  const UpgradeEnvironment env = fake.Env();
  UpgradeInfo info = fake.Info();
  EXPECT_TRUE(DecideUpgrade(info, env));

  info.RegionMin = 5280, info.RegionMax = 5281;  // exactly this machine
  EXPECT_TRUE(DecideUpgrade(info, env));
  info.RegionMin = 0, info.RegionMax = 5280;  // maximum is outside
  EXPECT_FALSE(DecideUpgrade(info, env));
  info.RegionMin = 5281, info.RegionMax = 10000;
  EXPECT_FALSE(DecideUpgrade(info, env));
  info.RegionMin = 0, info.RegionMax = 0;  // nobody
  EXPECT_FALSE(DecideUpgrade(info, env));
  info.RegionMin = 0, info.RegionMax = 10000;

  info.DistVersion = "1.0.0.1";  // equal
  EXPECT_FALSE(DecideUpgrade(info, env));
  info.DistVersion = "1.0";  // fewer than three dots
  EXPECT_FALSE(DecideUpgrade(info, env));
  info.DistVersion = "1.0.0.2";
  info.ExePath.clear();
  EXPECT_FALSE(DecideUpgrade(info, env));
  info.ExePath = fake.exe;
  fake.running_version.clear();  // no readable version
  EXPECT_FALSE(DecideUpgrade(info, env));
}

TEST(UpgradeDownload, AcceptsOnlyTheRightSizeAndSigner) {
  Fake fake;
  const UpgradeEnvironment env = fake.Env();
  UpgradeInfo info = fake.Info();
  const std::u16string new_path = fake.exe + u".n";

  EXPECT_EQ(DownloadAndVerify(info, u"", env), kDownloadNoPath);
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadOk);
  EXPECT_EQ(ReadFileBytes(new_path), fake.download);

  fake.download = std::string(1233, 'N');
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);
  info.FileLength = 0;  // size not checked
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadOk);

  fake.signer = "Larkway Test Signer ";
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);
  fake.signer = "larkway test signer";
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);
  fake.signer = std::nullopt;  // unsigned or not trusted
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);
  // A failed verification leaves the download in place.
  EXPECT_TRUE(FileExists(new_path));

  // No expected signer: refused rather than trusting whatever arrived.
  fake.signer = kSigner;
  info.Signature.clear();
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);

  fake.download_ok = false;
  info.Signature = kSigner;
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);
}

TEST(UpgradeDownload, SignerNameMustFitTheBuffer) {
  Fake fake;
  const UpgradeEnvironment env = fake.Env();
  UpgradeInfo info = fake.Info();
  info.FileLength = 0;
  info.Signature = std::string(kSignerNameCapacity - 1, 'S');
  fake.signer = info.Signature;
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadOk);
  info.Signature = std::string(kSignerNameCapacity, 'S');
  fake.signer = info.Signature;
  EXPECT_EQ(DownloadAndVerify(info, fake.exe, env), kDownloadFailed);
}

TEST(UpgradeSwap, ReplacesAndRollsBack) {
  Fake fake;
  const UpgradeEnvironment env = fake.Env();
  const std::u16string old_path = fake.exe + u".o", new_path = fake.exe + u".n";

  WriteTestFile(fake.exe, "old");
  WriteTestFile(new_path, "new");
  EXPECT_EQ(SwapExecutables(fake.exe, env), 0);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");
  EXPECT_EQ(ReadFileBytes(old_path), "old");
  EXPECT_FALSE(FileExists(new_path));

  // A leftover ".o" blocks the first rename: nothing changes.
  WriteTestFile(new_path, "newer");
  EXPECT_EQ(SwapExecutables(fake.exe, env), 1);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");

  // The second rename fails: the old executable goes back in place.
  ASSERT_TRUE(RemoveFile(old_path));
  fake.fail_rename_to_exe = 1;
  EXPECT_EQ(SwapExecutables(fake.exe, env), 1);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");
  EXPECT_EQ(ReadFileBytes(new_path), "newer");
  EXPECT_FALSE(FileExists(old_path));
}

TEST(UpgradeSwap, RemovesOldExecutable) {
  TempDir dir;
  const std::u16string exe = dir.Join(u"a.exe");
  EXPECT_EQ(RemoveOldExecutable(u""), 2);
  EXPECT_EQ(RemoveOldExecutable(exe), 0);
  WriteTestFile(exe + u".o", "old");
  EXPECT_EQ(RemoveOldExecutable(exe), 1);
  EXPECT_FALSE(FileExists(exe + u".o"));
}

TEST(UpgradeWorkerLoop, DueUpgradeSwapsThenEndsOnTheNewVersion) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  WriteTestFile(fake.exe + u".o", "from an earlier upgrade");
  UpgradeEnvironment env = fake.Env();
  // After the swap the executable on disk is the new one, so its version is the described one.
  env.file_version = [&](const std::u16string& path) -> std::u16string {
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return {};
    return *bytes == "old" ? u"1.0.0.1" : u"1.0.0.2";
  };
  int waits = 0;
  env.wait = [&](std::uint32_t ms) {
    EXPECT_EQ(ms, env.wait_ms);
    return ++waits < 10;
  };
  RunUpgradeWorker(env);
  EXPECT_EQ(ReadFileBytes(fake.exe), fake.download);
  EXPECT_EQ(ReadFileBytes(fake.exe + u".o"), "old");  // the earlier ".o" went at the start
  EXPECT_EQ(ReadFileBytes(PathAppend(fake.dir.path(), u"qmzt_upgrade.xml")), fake.description);
  EXPECT_EQ(waits, 1);
  ASSERT_EQ(fake.fetched.size(), 3u);  // description, executable, description
  EXPECT_EQ(fake.fetched[1], u"http://127.0.0.1:1/download/vexa_qmzt.exe");
}

TEST(UpgradeWorkerLoop, NotDueEndsAfterTheFirstCheck) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  fake.running_version = u"1.0.0.2";
  UpgradeEnvironment env = fake.Env();
  int waits = 0;
  env.wait = [&](std::uint32_t) { return ++waits < 10; };
  RunUpgradeWorker(env);
  EXPECT_EQ(waits, 0);
  EXPECT_EQ(fake.fetched.size(), 1u);
  EXPECT_EQ(ReadFileBytes(fake.exe), "old");
}

TEST(UpgradeWorkerLoop, FailuresRetryEachCycleUntilStopped) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  fake.description_ok = false;
  UpgradeEnvironment env = fake.Env();
  int waits = 0;
  env.wait = [&](std::uint32_t) {
    if (waits == 2) fake.description_ok = true, fake.download = "short";  // size mismatch
    return ++waits < 5;
  };
  RunUpgradeWorker(env);
  EXPECT_EQ(waits, 5);
  EXPECT_EQ(ReadFileBytes(fake.exe), "old");
  EXPECT_TRUE(FileExists(fake.exe + u".n"));
  EXPECT_FALSE(FileExists(fake.exe + u".o"));
}

// ---- the worker thread ----

TEST(UpgradeWorkerThread, StopsDuringTheHourlyWaitAtOnce) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  fake.description_ok = false;  // keeps the worker cycling
  std::atomic<int> fetches{0};
  ASSERT_TRUE(StartUpgradeWorker([&](UpgradeEnvironment& env) {
    const auto platform_wait = env.wait;
    const auto platform_stopped = env.stopped;
    env = fake.Env();
    env.wait = platform_wait;
    env.stopped = platform_stopped;
    env.wait_ms = kUpgradeWaitMs;
    env.fetch = [&](const std::u16string&, const std::u16string&) {
      ++fetches;
      return false;
    };
  }));
  EXPECT_FALSE(StartUpgradeWorker());  // one at a time
  for (int i = 0; i < 200 && fetches == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(fetches, 1);
  EXPECT_TRUE(UpgradeWorkerRunning());
  const auto start = std::chrono::steady_clock::now();
  StopUpgradeWorker(1000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_FALSE(UpgradeWorkerRunning());
}

TEST(UpgradeWorkerThread, StopsDuringASlowDownload) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  std::atomic<bool> downloading{false};
  ASSERT_TRUE(StartUpgradeWorker([&](UpgradeEnvironment& env) {
    const auto platform_wait = env.wait;
    const auto platform_stopped = env.stopped;
    env = fake.Env();
    env.wait = platform_wait;
    env.stopped = platform_stopped;
    auto description_fetch = env.fetch;
    env.fetch = [&downloading, description_fetch, platform_stopped](const std::u16string& url,
                                                                    const std::u16string& path) {
      if (url.ends_with(u".xml")) return description_fetch(url, path);
      // A transfer that keeps trickling: only the stop flag ends it.
      downloading = true;
      while (!platform_stopped()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return false;
    };
  }));
  for (int i = 0; i < 200 && !downloading; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(downloading);
  const auto start = std::chrono::steady_clock::now();
  StopUpgradeWorker(1000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(ReadFileBytes(fake.exe), "old");
}

TEST(UpgradeWorkerThread, AbandonsAWorkerThatDoesNotEnd) {
  std::atomic<bool> release{false};
  std::atomic<bool> entered{false};
  ASSERT_TRUE(StartUpgradeWorker([&](UpgradeEnvironment& env) {
    env.exe_path.clear();
    env.fetch = [&](const std::u16string&, const std::u16string&) {
      entered = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return false;
    };
  }));
  for (int i = 0; i < 200 && !entered; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = std::chrono::steady_clock::now();
  StopUpgradeWorker(200);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(190));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  // A new worker may start after an abandoned one.
  release = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace fernlite
