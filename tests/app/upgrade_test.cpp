#include "app/upgrade.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <chrono>
#include <thread>
#include <vector>

#include "app/file_version_platform.h"
#include "app/upgrade_platform.h"
#include "app/upgrade_worker.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using test::TempDir;
using test::WriteTestFile;

// ---- numbers, hash, versions ----

TEST(UpgradeNumbers, LeadingIntReadsLikeStrtol) {
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

std::string Nested(size_t levels) {
  std::string xml;
  for (size_t i = 0; i < levels; ++i) xml += "<a>";
  for (size_t i = 0; i < levels; ++i) xml += "</a>";
  return xml;
}

TEST(UpgradeDescription, DeepOrHugeTextsAreRefusedBeforeTheParserSeesThem) {
  // Forty thousand levels took the parser's stack and the whole process with it.
  UpgradeInfo info;
  EXPECT_FALSE(ParseUpgradeDescriptionText(Nested(40000), info));
  EXPECT_FALSE(ParseUpgradeDescriptionText(
      "<r><Result>" + Nested(kMaxUpgradeDescriptionDepth) + "</Result></r>", info));
  // Right up to the limit still parses.
  std::string deep =
      "<r><Result><url>u</url>" + Nested(kMaxUpgradeDescriptionDepth - 2) + "</Result></r>";
  EXPECT_TRUE(ParseUpgradeDescriptionText(deep, info));
  EXPECT_EQ(info.Url, "u");
  std::string huge = kDescription;
  huge.insert(huge.size() - std::string("</Response>").size(),
              std::string(kMaxUpgradeDescriptionBytes, ' '));
  EXPECT_FALSE(ParseUpgradeDescriptionText(huge, info));
}

TEST(UpgradeDescription, DepthCountsElementsOnly) {
  EXPECT_EQ(XmlNestingDepth(kDescription, 100), 3u);
  EXPECT_EQ(XmlNestingDepth("<a><b/><c x='>' y=\"/>\"><d></d></c></a>", 100), 3u);
  EXPECT_EQ(XmlNestingDepth("<?xml version='1.0'?><!DOCTYPE a><!-- <b><c> --><a>"
                            "<![CDATA[<x><y><z>]]></a>",
                            100),
            1u);
  // A tag that never ends opens nothing; counting stops just past the limit.
  EXPECT_EQ(XmlNestingDepth(std::string(1000, '<'), 100), 0u);
  EXPECT_EQ(XmlNestingDepth(std::string(1000, '<') + "a>", 100), 1u);
  EXPECT_EQ(XmlNestingDepth(Nested(500), 10), 11u);
}

TEST(UpgradeDescription, ATextCutInsideAUtf8SequenceIsReadWithinItsBuffer) {
  // A declaration, an element and a lead byte at the very end: the parser used to step past
  // the terminating zero (the sanitizer build compiles the parser too and sees it).
  const std::string cut =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>" + std::string(30, 'x') + "\xF4";
  for (size_t length = 40; length <= cut.size(); ++length) {
    UpgradeInfo info;
    EXPECT_FALSE(ParseUpgradeDescriptionText(cut.substr(0, length), info));
  }
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

// The worker's outside world, answered from plain values: the network (description and
// download), the running file's version, the signer, and renames that can be made to fail.
class Fake {
 public:
  TempDir dir;
  std::u16string exe = dir.Join(u"vexa_qmzt.exe");
  std::u16string running_version = u"1.0.0.1";
  std::string description = kDescription;
  bool description_ok = true;
  std::string download = std::string(1234, 'N');
  bool download_ok = true;
  std::optional<std::string> signer = std::string(kSigner);
  int fail_rename_to_exe = 0;  // fail renames onto the executable path this many times
  // Called on every description fetch (the worker's cycle), before it is answered.
  std::function<void()> on_description;

  std::vector<std::u16string> Fetched() const { return http_.Urls(); }
  UpgradeJob Job() const {
    UpgradeJob job;
    job.description_url = u"http://platform/game/wd/qmzt.xml";
    job.exe_path = exe;
    job.game_code = u"qmzt";
    job.wait_ms = 5;
    return job;
  }
  UpgradeInfo Info() {
    UpgradeInfo info;
    ParseUpgradeDescriptionText(description, info);
    info.ExePath = exe;
    return info;
  }
  // The version of whatever file is at a path; replaces the fixed running_version.
  std::function<std::u16string(const std::u16string& path)> version_of;

 private:
  test::FakeHttp http_{
      [this](const std::u16string& url, const std::u16string* path, const FetchLimits&) {
        const bool is_description = url.ends_with(u".xml");
        if (is_description && on_description) on_description();
        if (is_description ? !description_ok : !download_ok) return false;
        if (path) WriteTestFile(*path, is_description ? description : download);
        return true;
      }};
  ScopedPlatform<FileVersionPlatform> versions_{
      FileVersionPlatform{[this](const std::u16string& path) {
        if (version_of) return version_of(path);
        return path == exe && FileExists(exe) ? running_version : std::u16string();
      }}};
  ScopedPlatform<UpgradePlatform> signers_{UpgradePlatform{
      u"", [this](const std::u16string&, const std::u16string&) { return signer; }}};
  ScopedPlatform<FilesPlatform> files_{[this] {
    FilesPlatform files = Platform<FilesPlatform>();
    files.rename_no_replace = [this, rename = files.rename_no_replace](const std::u16string& from,
                                                                       const std::u16string& to) {
      if (to == exe && fail_rename_to_exe > 0) {
        --fail_rename_to_exe;
        return false;
      }
      return rename(from, to);
    };
    return files;
  }()};
};

TEST(UpgradeDecision, RegionBoundsVersionAndPath) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  UpgradeInfo info = fake.Info();
  EXPECT_TRUE(DecideUpgrade(info, kDeviceId));

  info.RegionMin = 5280, info.RegionMax = 5281;  // exactly this machine
  EXPECT_TRUE(DecideUpgrade(info, kDeviceId));
  info.RegionMin = 0, info.RegionMax = 5280;  // maximum is outside
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
  info.RegionMin = 5281, info.RegionMax = 10000;
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
  info.RegionMin = 0, info.RegionMax = 0;  // nobody
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
  info.RegionMin = 0, info.RegionMax = 10000;

  info.DistVersion = "1.0.0.1";  // equal
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
  info.DistVersion = "1.0";  // fewer than three dots
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
  info.DistVersion = "1.0.0.2";
  info.ExePath.clear();
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
  info.ExePath = fake.exe;
  fake.running_version.clear();  // no readable version
  EXPECT_FALSE(DecideUpgrade(info, kDeviceId));
}

TEST(UpgradeDownload, AcceptsOnlyTheRightSizeAndSigner) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  UpgradeInfo info = fake.Info();
  const std::u16string new_path = fake.exe + u".n";

  EXPECT_EQ(DownloadAndVerify(info, u""), kDownloadNoPath);
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadOk);
  EXPECT_EQ(ReadFileBytes(new_path), fake.download);

  fake.download = std::string(1233, 'N');
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);
  info.FileLength = 0;  // size not checked
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadOk);

  fake.signer = "Larkway Test Signer ";
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);
  fake.signer = "larkway test signer";
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);
  fake.signer = std::nullopt;  // unsigned or not trusted
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);
  // A failed verification leaves the download in place.
  EXPECT_TRUE(FileExists(new_path));

  // No expected signer: refused rather than trusting whatever arrived.
  fake.signer = kSigner;
  info.Signature.clear();
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);

  fake.download_ok = false;
  info.Signature = kSigner;
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);
}

TEST(UpgradeDownload, SignerNameMustFitTheBuffer) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  UpgradeInfo info = fake.Info();
  info.FileLength = 0;
  info.Signature = std::string(kSignerNameCapacity - 1, 'S');
  fake.signer = info.Signature;
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadOk);
  info.Signature = std::string(kSignerNameCapacity, 'S');
  fake.signer = info.Signature;
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadFailed);
}

TEST(UpgradeDownload, DetachedSignatureTravelsBesideTheFileAndIsRemoved) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  UpgradeInfo info = fake.Info();
  std::u16string seen_signature;
  ScopedPlatform<UpgradePlatform> detached(
      UpgradePlatform{u".p7s", [&](const std::u16string& file, const std::u16string& signature) {
                        seen_signature = signature;
                        EXPECT_EQ(file, fake.exe + u".n");
                        EXPECT_TRUE(FileExists(signature));
                        return std::optional<std::string>(kSigner);
                      }});
  EXPECT_EQ(DownloadAndVerify(info, fake.exe), kDownloadOk);
  EXPECT_EQ(seen_signature, fake.exe + u".n.p7s");
  EXPECT_FALSE(FileExists(seen_signature));
  const auto fetched = fake.Fetched();
  ASSERT_EQ(fetched.size(), 2u);
  EXPECT_EQ(fetched[1], fetched[0] + u".p7s");
}

TEST(UpgradeSwap, ReplacesAndRollsBack) {
  Fake fake;
  const std::u16string old_path = fake.exe + u".o", new_path = fake.exe + u".n";

  WriteTestFile(fake.exe, "old");
  WriteTestFile(new_path, "new");
  EXPECT_EQ(SwapExecutables(fake.exe), 0);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");
  EXPECT_EQ(ReadFileBytes(old_path), "old");
  EXPECT_FALSE(FileExists(new_path));

  // A leftover ".o" blocks the first rename: nothing changes.
  WriteTestFile(new_path, "newer");
  EXPECT_EQ(SwapExecutables(fake.exe), 1);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");

  // The second rename fails: the old executable goes back in place.
  ASSERT_TRUE(RemoveFile(old_path));
  fake.fail_rename_to_exe = 1;
  EXPECT_EQ(SwapExecutables(fake.exe), 1);
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
  WriteTestFile(exe, "new");
  EXPECT_EQ(RemoveOldExecutable(exe), 1);
  EXPECT_FALSE(FileExists(exe + u".o"));
}

TEST(UpgradeSwap, AnOldExecutableIsNeverDeletedWhileTheExecutableIsMissing) {
  // What a swap cut between its two moves leaves behind.
  TempDir dir;
  const std::u16string exe = dir.Join(u"a.exe");
  WriteTestFile(exe + u".o", "old");
  WriteTestFile(exe + u".n", "new");
  EXPECT_EQ(RemoveOldExecutable(exe), 3);
  EXPECT_EQ(ReadFileBytes(exe), "old");
  EXPECT_FALSE(FileExists(exe + u".o"));
}

TEST(UpgradeSwap, WhereARunningFileCanBeReplacedTheSwapIsOneRename) {
  Fake fake;
  UpgradePlatform in_place = Platform<UpgradePlatform>();
  in_place.replace_running_in_place = true;
  ScopedPlatform scoped(std::move(in_place));
  WriteTestFile(fake.exe, "old");
  WriteTestFile(fake.exe + u".n", "new");
  // Every path the executable could be read from at any moment holds a whole program: the
  // swap never moves it aside.
  fake.fail_rename_to_exe = 1000;
  EXPECT_EQ(SwapExecutables(fake.exe), 0);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");
  EXPECT_FALSE(FileExists(fake.exe + u".o"));
  EXPECT_FALSE(FileExists(fake.exe + u".n"));
  // Nothing to swap in: the running one stays.
  EXPECT_EQ(SwapExecutables(fake.exe), 1);
  EXPECT_EQ(ReadFileBytes(fake.exe), "new");
}

// The worker's machine identifier (rollout value 5280 of the described 0..10000) comes from the
// process's own device identity, whatever it is; the described range covers every machine.

TEST(UpgradeWorkerLoop, DueUpgradeSwapsThenEndsOnTheNewVersion) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  WriteTestFile(fake.exe + u".o", "from an earlier upgrade");
  // After the swap the executable on disk is the new one, so its version is the described one.
  fake.version_of = [](const std::u16string& path) -> std::u16string {
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return {};
    return *bytes == "old" ? u"1.0.0.1" : u"1.0.0.2";
  };
  StopSignal stop;
  RunUpgradeWorker(fake.Job(), stop);
  EXPECT_EQ(ReadFileBytes(fake.exe), fake.download);
  EXPECT_EQ(ReadFileBytes(fake.exe + u".o"), "old");  // the earlier ".o" went at the start
  EXPECT_EQ(ReadFileBytes(PathAppend(fake.dir.path(), u"qmzt_upgrade.xml")), fake.description);
  // Description, executable, then the description again after one wait, which finds the new
  // version and ends the worker.
  const auto fetched = fake.Fetched();
  ASSERT_EQ(fetched.size(), 3u);
  EXPECT_EQ(fetched[1], u"http://127.0.0.1:1/download/vexa_qmzt.exe");
  EXPECT_TRUE(fetched[2].ends_with(u"/game/wd/qmzt.xml"));
}

TEST(UpgradeWorkerLoop, NotDueEndsAfterTheFirstCheck) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  fake.running_version = u"1.0.0.2";
  StopSignal stop;
  RunUpgradeWorker(fake.Job(), stop);
  EXPECT_EQ(fake.Fetched().size(), 1u);
  EXPECT_EQ(ReadFileBytes(fake.exe), "old");
}

TEST(UpgradeWorkerLoop, FailuresRetryEachCycleUntilStopped) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  fake.description_ok = false;
  StopSignal stop;
  int cycles = 0;
  fake.on_description = [&] {
    ++cycles;
    if (cycles == 3) fake.description_ok = true, fake.download = "short";  // size mismatch
    if (cycles == 5) stop.Raise();
  };
  RunUpgradeWorker(fake.Job(), stop);
  EXPECT_EQ(cycles, 5);
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
  fake.on_description = [&] { ++fetches; };
  UpgradeJob job = fake.Job();
  job.wait_ms = kUpgradeWaitMs;
  ASSERT_TRUE(StartUpgradeWorker(job));
  EXPECT_FALSE(StartUpgradeWorker(job));  // one at a time
  for (int i = 0; i < 200 && fetches == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(fetches, 1);
  EXPECT_TRUE(UpgradeWorkerRunning());
  const auto start = std::chrono::steady_clock::now();
  StopUpgradeWorker(1000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_FALSE(UpgradeWorkerRunning());
}

TEST(UpgradeWorkerThread, TheStopReachesTheDownloadInProgress) {
  Fake fake;
  WriteTestFile(fake.exe, "old");
  std::atomic<bool> downloading{false};
  // A transfer that keeps trickling: only the cancel flag the worker hands to the download ends
  // it, as the real client's is the only thing that ends a slow transfer.
  test::FakeHttp slow(
      [&](const std::u16string& url, const std::u16string* path, const FetchLimits& limits) {
        if (url.ends_with(u".xml")) {
          if (path) WriteTestFile(*path, fake.description);
          return true;
        }
        downloading = true;
        while (!(limits.cancel && limits.cancel->load())) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
      });
  ASSERT_TRUE(StartUpgradeWorker(fake.Job()));
  for (int i = 0; i < 200 && !downloading; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(downloading);
  const auto start = std::chrono::steady_clock::now();
  StopUpgradeWorker(1000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_FALSE(UpgradeWorkerRunning());
  EXPECT_EQ(ReadFileBytes(fake.exe), "old");
}

TEST(UpgradeWorkerThread, LeavesBehindAWorkerThatDoesNotEnd) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto entered = std::make_shared<std::atomic<bool>>(false);
  test::FakeHttp stuck(
      [release, entered](const std::u16string&, const std::u16string*, const FetchLimits&) {
        *entered = true;
        while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return false;
      });
  UpgradeJob job;
  job.description_url = u"http://platform/game/wd/qmzt.xml";
  job.game_code = u"qmzt";
  ASSERT_TRUE(StartUpgradeWorker(job));
  for (int i = 0; i < 200 && !*entered; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto start = std::chrono::steady_clock::now();
  StopUpgradeWorker(200);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(190));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  // A new worker may start after one that was left behind.
  *release = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace fernlite
