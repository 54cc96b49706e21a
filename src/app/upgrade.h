// The background upgrade check: the description on the static file server, the rollout range,
// the version compare, the download of the new executable, its verification and the swap.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// One per worker; kept between cycles so a description that fails to parse leaves the earlier
// values in place. Texts are 8-bit as the XML parser delivers them.
struct UpgradeInfo {
  std::string DistVersion;
  std::string Url;
  std::string Signature;
  std::int32_t FileLength = 0;
  std::int32_t RegionMin = 0;
  std::int32_t RegionMax = 0;
  std::u16string ExePath;
};

inline constexpr std::uint32_t kUpgradeWaitMs = 3600000;
inline constexpr std::int32_t kRolloutBuckets = 10000;
// The signer name has to fit this many bytes with its terminator; a longer one never matches.
inline constexpr size_t kSignerNameCapacity = 260;
// A description without a signer name would let anyone who can change the (plain HTTP)
// description push an unsigned executable, so a missing name fails verification.
inline constexpr bool kSignerRequired = true;

// Download-and-verify results.
inline constexpr int kDownloadOk = 0;
inline constexpr int kDownloadFailed = 1;
inline constexpr int kDownloadNoPath = 2;

using Version = std::array<std::int32_t, 4>;

// RS string hash over the bytes taken as signed chars, 32-bit wrap-around, top bit cleared.
std::uint32_t RsHash(std::string_view bytes);
// The machine's place in the rollout, 0..9999.
std::int32_t RolloutValue(std::string_view device_id_ansi);

// "a.b.c.d" split at the first three dots, each part a leading integer (the last one is the
// whole remainder). nullopt with fewer than three dots.
std::optional<Version> ParseVersion(std::string_view text);
// True as soon as a component of `running` is smaller than the same one of `described`,
// comparing first to fourth.
bool RunningIsOlder(const Version& running, const Version& described);

// A description is a few hundred bytes, three levels deep; anything far beyond is refused
// before it is parsed.
inline constexpr size_t kMaxUpgradeDescriptionBytes = 64 * 1024;
inline constexpr size_t kMaxUpgradeDescriptionDepth = 32;
// A new executable without a described length is accepted up to this size (the program is
// about 2 MiB); a detached signature up to the second.
inline constexpr std::uint64_t kMaxUpgradeFileBytes = 256ull << 20;
inline constexpr std::uint64_t kMaxSignatureBytes = 64 * 1024;
// The deepest nesting of elements in the text, counted no further than limit + 1; comments,
// CDATA, declarations and processing instructions do not count.
size_t XmlNestingDepth(std::string_view xml, size_t limit);

// Reads the description text into `info`. True when it parsed and the root element has a
// "Result" child; an absent element leaves its field unchanged. Texts larger or deeper than
// the limits above are refused.
bool ParseUpgradeDescriptionText(const std::string& xml, UpgradeInfo& info);
bool ParseUpgradeDescription(const std::u16string& path, UpgradeInfo& info);

// What one worker checks: where the description is and which executable it may replace.
struct UpgradeJob {
  std::u16string description_url;
  std::u16string exe_path;
  std::u16string game_code;
  std::uint32_t wait_ms = kUpgradeWaitMs;
};
// The running launcher's job: the static file server's description for GameCode.
UpgradeJob CurrentUpgradeJob();

// The worker's stop request. Waits end as soon as it is raised, and downloads watch its flag.
class StopSignal {
 public:
  void Raise();
  bool Raised() const { return flag_.load(); }
  // Sleeps up to ms; false when the signal was raised.
  bool Wait(std::uint32_t ms);
  const std::atomic<bool>* Flag() const { return &flag_; }

 private:
  std::mutex mutex_;
  std::condition_variable raised_;
  std::atomic<bool> flag_{false};
};

// The description address on the static file server for a game code.
std::u16string UpgradeDescriptionUrl(std::u16string_view base, std::u16string_view game_code);
// GameCode + "_upgrade.xml" beside the executable.
std::u16string UpgradeDescriptionCopyPath(const std::u16string& exe_path,
                                          std::u16string_view game_code);

// Due when the machine is in the rollout range and the running executable is older than the
// described version. `device_id` is the machine's identifier (GetDeviceIdText).
bool DecideUpgrade(const UpgradeInfo& info, std::u16string_view device_id);
// Downloads info.Url to exe_path + ".n" (and its detached signature where the platform has
// one) and verifies size and signer. The downloads end early when `stop` is raised.
int DownloadAndVerify(const UpgradeInfo& info, const std::u16string& exe_path,
                      const StopSignal* stop = nullptr);
// 0 on success, 1 on failure. Where a running file can be replaced the new one is renamed
// over the executable in one step (no ".o"); else the executable moves to ".o" first, and when
// the new file cannot take its place the old one is renamed back so the launcher still starts.
int SwapExecutables(const std::u16string& exe_path);
// 1 when an old executable existed and its delete was attempted, 0 when none existed, 2 for an
// empty path, 3 when the executable was missing and the old one was put back in its place
// (".o" is never deleted while nothing else is there to start).
int RemoveOldExecutable(const std::u16string& exe_path);

// The whole worker: removes ".o", then checks at once and every wait_ms until no upgrade is due
// or `stop` is raised.
void RunUpgradeWorker(const UpgradeJob& job, StopSignal& stop);

}  // namespace fernlite
