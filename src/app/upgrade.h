// The background upgrade check: the description on the static file server, the rollout range,
// the version compare, the download of the new executable, its verification and the swap.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

// C-style leading decimal integer: leading white space, optional sign, digits up to the first
// other character; 0 without digits. Values beyond 32 bits saturate.
std::int32_t LeadingInt(std::string_view text);

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

// Reads the description text into `info`. True when it parsed and the root element has a
// "Result" child; an absent element leaves its field unchanged.
bool ParseUpgradeDescriptionText(const std::string& xml, UpgradeInfo& info);
bool ParseUpgradeDescription(const std::u16string& path, UpgradeInfo& info);

// What the worker needs from the outside; the platform fills in the real services and tests
// replace single ones.
struct UpgradeEnvironment {
  std::u16string description_url;
  std::u16string exe_path;
  std::u16string game_code;
  std::uint32_t wait_ms = kUpgradeWaitMs;
  // GET url into the file; false on any failure or when the worker is asked to stop.
  std::function<bool(const std::u16string& url, const std::u16string& path)> fetch;
  // "%d.%d.%d.%d" of the file, empty when it has none.
  std::function<std::u16string(const std::u16string& path)> file_version;
  // The verified signer name of the downloaded file (ANSI bytes); nullopt when the file is not
  // signed, the signature does not verify, or the chain does not end in a trusted root.
  std::function<std::optional<std::string>(const std::u16string& file, const std::u16string& url)>
      signer_name;
  // Renames without replacing an existing file.
  std::function<bool(const std::u16string& from, const std::u16string& to)> rename;
  std::function<std::u16string()> device_id;
  // Sleeps up to ms; false when the worker has to end (stop signalled or the wait failed).
  std::function<bool(std::uint32_t ms)> wait;
  // True once the worker has been asked to stop.
  std::function<bool()> stopped;
};

// The description address on the static file server for a game code.
std::u16string UpgradeDescriptionUrl(std::u16string_view base, std::u16string_view game_code);
// GameCode + "_upgrade.xml" beside the executable.
std::u16string UpgradeDescriptionCopyPath(const std::u16string& exe_path,
                                          std::u16string_view game_code);

bool DecideUpgrade(const UpgradeInfo& info, const UpgradeEnvironment& env);
int DownloadAndVerify(const UpgradeInfo& info, const std::u16string& exe_path,
                      const UpgradeEnvironment& env);
// 0 on success, 1 on failure. When the new file cannot take the executable's place, the old
// executable is renamed back so the launcher still starts next time.
int SwapExecutables(const std::u16string& exe_path, const UpgradeEnvironment& env);
// 1 when an old executable existed and its delete was attempted, 0 when none existed, 2 for an
// empty path.
int RemoveOldExecutable(const std::u16string& exe_path);

// The whole worker: removes ".o", then checks at once and every wait_ms until no upgrade is due
// or the worker is asked to stop.
void RunUpgradeWorker(const UpgradeEnvironment& env);

// ---- Platform side (upgrade_win32.cpp / upgrade_linux.cpp) ----

// Rename that fails when `to` exists (MoveFile's rule).
bool RenameFileNoReplace(const std::u16string& from, const std::u16string& to);
// Size of the file; nullopt when it cannot be opened.
std::optional<std::uint64_t> FileSizeOf(const std::u16string& path);
// Gives the verified download what it needs to start as a program (Linux: the executable's
// permission bits; Windows: nothing). False when that failed.
bool PrepareNewExecutable(const std::u16string& new_path, const std::u16string& exe_path);
// Verified signer name of the downloaded `file` fetched from `url`; nullopt when it has no
// valid signature from a trusted root (Windows: embedded Authenticode; Linux: a detached CMS
// signature fetched from url + ".p7s").
std::optional<std::string> DownloadSignerName(const std::u16string& file,
                                              const std::u16string& url);

// ---- upgrade_environment.cpp ----

// The real services: fetch, version reader, signer check and rename, the cached device
// identifier; the worker thread supplies `wait`/`stopped`.
UpgradeEnvironment PlatformUpgradeEnvironment();

}  // namespace fernlite
