#include "app/upgrade.h"

#include <tinyxml.h>

#include <chrono>

#include "app/file_version.h"
#include "app/run_settings.h"
#include "identity/device_id.h"
#include "app/upgrade_platform.h"
#include "net/endpoints.h"
#include "net/http_fetch.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {

std::uint32_t RsHash(std::string_view bytes) {
  std::uint32_t hash = 0;
  std::uint32_t a = 63689;
  for (char c : bytes) {
    const auto byte = static_cast<std::int32_t>(static_cast<signed char>(c));
    hash = hash * a + static_cast<std::uint32_t>(byte);
    a *= 378551u;
  }
  return hash & 0x7FFFFFFFu;
}

std::int32_t RolloutValue(std::string_view device_id_ansi) {
  return static_cast<std::int32_t>(RsHash(device_id_ansi) % kRolloutBuckets);
}

std::optional<Version> ParseVersion(std::string_view text) {
  Version version{};
  for (int part = 0; part < 3; ++part) {
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    version[part] = LeadingInt(text.substr(0, dot));
    text.remove_prefix(dot + 1);
  }
  version[3] = LeadingInt(text);
  return version;
}

bool RunningIsOlder(const Version& running, const Version& described) {
  // The first differing component decides: a launcher newer than the description (say
  // 3.4.0.0 against 3.3.5.0) must never be "upgraded" to the older file.
  for (size_t i = 0; i < running.size(); ++i) {
    if (running[i] != described[i]) return running[i] < described[i];
  }
  return false;
}

namespace {

// The element's text, or "" when its first child is not text; nullopt when it is absent.
std::optional<std::string> ElementText(const TiXmlElement* parent, const char* name) {
  const TiXmlElement* element = parent->FirstChildElement(name);
  if (!element) return std::nullopt;
  const TiXmlNode* child = element->FirstChild();
  if (child && child->ToText()) return std::string(child->Value());
  return std::string();
}

void ReadText(const TiXmlElement* result, const char* name, std::string& field) {
  if (auto text = ElementText(result, name)) field = std::move(*text);
}

void ReadNumber(const TiXmlElement* result, const char* name, std::int32_t& field) {
  if (auto text = ElementText(result, name)) field = LeadingInt(*text);
}

}  // namespace

size_t XmlNestingDepth(std::string_view xml, size_t limit) {
  size_t depth = 0, deepest = 0;
  const auto skip_past = [&](size_t from, std::string_view end) {
    const size_t found = xml.find(end, from);
    return found == std::string_view::npos ? xml.size() : found + end.size();
  };
  for (size_t i = xml.find('<'); i < xml.size(); i = xml.find('<', i)) {
    const std::string_view rest = xml.substr(i);
    if (rest.starts_with("<!--")) {
      i = skip_past(i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = skip_past(i + 9, "]]>");
    } else if (rest.starts_with("<?") || rest.starts_with("<!")) {
      i = skip_past(i + 2, ">");
    } else if (rest.starts_with("</")) {
      if (depth > 0) --depth;
      i = skip_past(i + 2, ">");
    } else {
      // A start tag ends at the first '>' outside a quoted attribute value.
      size_t j = i + 1;
      for (char quote = 0; j < xml.size(); ++j) {
        const char c = xml[j];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (j < xml.size() && xml[j - 1] != '/' && ++depth > deepest) deepest = depth;
      if (deepest > limit) return deepest;
      i = j + 1;
    }
  }
  return deepest;
}

bool ParseUpgradeDescriptionText(const std::string& xml, UpgradeInfo& info) {
  // The parser recurses once per level; a deep text would take the stack, so it never gets it.
  if (xml.size() > kMaxUpgradeDescriptionBytes) return false;
  if (XmlNestingDepth(xml, kMaxUpgradeDescriptionDepth) > kMaxUpgradeDescriptionDepth) {
    return false;
  }
  // The parser steps over a UTF-8 sequence by its lead byte's length, also past the end of a
  // text cut inside one; the zeros after the text keep that step inside the buffer.
  std::string padded = xml;
  padded.append(4, '\0');
  TiXmlDocument document;
  document.Parse(padded.c_str());
  if (document.Error()) return false;
  const TiXmlElement* root = document.FirstChildElement();
  if (!root) return false;
  const TiXmlElement* result = root->FirstChildElement("Result");
  if (!result) return false;
  ReadText(result, "distversion", info.DistVersion);
  ReadText(result, "url", info.Url);
  ReadText(result, "signature", info.Signature);
  ReadNumber(result, "fileLength", info.FileLength);
  ReadNumber(result, "regionmin", info.RegionMin);
  ReadNumber(result, "regionmax", info.RegionMax);
  return true;
}

bool ParseUpgradeDescription(const std::u16string& path, UpgradeInfo& info) {
  const std::optional<std::string> bytes = ReadFileBytes(path, kMaxUpgradeDescriptionBytes);
  return bytes && ParseUpgradeDescriptionText(*bytes, info);
}

std::u16string UpgradeDescriptionUrl(std::u16string_view base, std::u16string_view game_code) {
  return std::u16string(base) + u"/game/wd/" + std::u16string(game_code) + u".xml";
}

std::u16string UpgradeDescriptionCopyPath(const std::u16string& exe_path,
                                          std::u16string_view game_code) {
  return PathAppend(PathDirectory(exe_path), std::u16string(game_code) + u"_upgrade.xml");
}

UpgradeJob CurrentUpgradeJob() {
  UpgradeJob job;
  job.game_code = Settings().GameCode;
  job.description_url = UpgradeDescriptionUrl(PlatformBase(Endpoint::kStatic), job.game_code);
  job.exe_path = GetModulePath();
  return job;
}

void StopSignal::Raise() {
  {
    std::lock_guard lock(mutex_);
    flag_ = true;
  }
  raised_.notify_all();
}

bool StopSignal::Wait(std::uint32_t ms) {
  std::unique_lock lock(mutex_);
  return !raised_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return flag_.load(); });
}

bool DecideUpgrade(const UpgradeInfo& info, std::u16string_view device_id) {
  const std::int32_t rollout = RolloutValue(ToAnsi(device_id));
  if (!(info.RegionMin <= rollout && rollout < info.RegionMax)) return false;
  if (info.ExePath.empty()) return false;
  const std::optional<Version> described = ParseVersion(info.DistVersion);
  if (!described) return false;
  const std::optional<Version> running = ParseVersion(U16ToAscii(FileVersionText(info.ExePath)));
  if (!running) return false;
  return RunningIsOlder(*running, *described);
}

namespace {

FetchLimits DownloadLimits(const StopSignal* stop, std::uint64_t max_bytes,
                           std::chrono::milliseconds total = {}) {
  FetchLimits limits = kDownloadLimits;
  if (stop) limits.cancel = stop->Flag();
  limits.max_bytes = max_bytes;
  limits.total = total;
  return limits;
}

// Small files have no business taking long.
constexpr std::chrono::minutes kSmallFileDeadline{1};

// The verified signer of the downloaded file; a detached signature is fetched beside it first
// and removed afterwards.
std::optional<std::string> DownloadedSigner(const std::u16string& file, const std::u16string& url,
                                            const FetchLimits& limits) {
  const UpgradePlatform& platform = Platform<UpgradePlatform>();
  if (platform.signature_suffix.empty()) return platform.signer_name(file, {});
  const std::u16string signature = file + platform.signature_suffix;
  if (FileExists(signature)) RemoveFile(signature);
  std::optional<std::string> name;
  FetchLimits small = limits;
  small.max_bytes = kMaxSignatureBytes;
  small.total = kSmallFileDeadline;
  if (Fetch(url + platform.signature_suffix, signature, small)) {
    name = platform.signer_name(file, signature);
  }
  RemoveFile(signature);
  return name;
}

}  // namespace

int DownloadAndVerify(const UpgradeInfo& info, const std::u16string& exe_path,
                      const StopSignal* stop) {
  if (exe_path.empty()) return kDownloadNoPath;
  const std::u16string new_path = exe_path + u".n";
  if (FileExists(new_path)) RemoveFile(new_path);

  // The described length, when there is one, is all that is accepted.
  const FetchLimits limits =
      DownloadLimits(stop, info.FileLength > 0 ? static_cast<std::uint64_t>(info.FileLength)
                                               : kMaxUpgradeFileBytes);
  const std::u16string url = FromAnsi(info.Url);
  if (!Fetch(url, new_path, limits)) return kDownloadFailed;

  if (info.FileLength != 0) {
    const std::uint64_t size = FileSize(new_path).value_or(0);
    if (info.FileLength < 0 || size != static_cast<std::uint64_t>(info.FileLength)) {
      return kDownloadFailed;
    }
  }

  if (!info.Signature.empty() || kSignerRequired) {
    if (info.Signature.empty()) return kDownloadFailed;
    const std::optional<std::string> signer = DownloadedSigner(new_path, url, limits);
    if (!signer || signer->size() >= kSignerNameCapacity || *signer != info.Signature) {
      return kDownloadFailed;
    }
  }
  // A download arrives as plain data; the next start needs the running program's permissions.
  if (!CopyFilePermissions(exe_path, new_path)) return kDownloadFailed;
  return kDownloadOk;
}

int SwapExecutables(const std::u16string& exe_path) {
  const std::u16string old_path = exe_path + u".o";
  const std::u16string new_path = exe_path + u".n";
  // One step where the system allows it: the path never stands empty.
  if (Platform<UpgradePlatform>().replace_running_in_place) {
    return RenameFileReplacing(new_path, exe_path) ? 0 : 1;
  }
  if (!RenameFileNoReplace(exe_path, old_path)) return 1;
  if (!RenameFileNoReplace(new_path, exe_path)) {
    // Put the running executable back so the next start finds a program.
    RenameFileNoReplace(old_path, exe_path);
    return 1;
  }
  return 0;
}

int RemoveOldExecutable(const std::u16string& exe_path) {
  if (exe_path.empty()) return 2;
  const std::u16string old_path = exe_path + u".o";
  if (!FileExists(old_path)) return 0;
  // A swap cut between its two moves left only the old program: it goes back in place.
  if (!FileExists(exe_path)) return RenameFileNoReplace(old_path, exe_path) ? 3 : 0;
  RemoveFile(old_path);
  return 1;
}

void RunUpgradeWorker(const UpgradeJob& job, StopSignal& stop) {
  const std::u16string& exe_path = job.exe_path;
  RemoveOldExecutable(exe_path);
  const std::u16string copy_path = UpgradeDescriptionCopyPath(exe_path, job.game_code);
  const FetchLimits limits = DownloadLimits(&stop, kMaxUpgradeDescriptionBytes, kSmallFileDeadline);

  UpgradeInfo info;
  for (;;) {
    if (stop.Raised()) return;
    if (Fetch(job.description_url, copy_path, limits)) {
      ParseUpgradeDescription(copy_path, info);
      info.ExePath = exe_path;
      if (!DecideUpgrade(info, getdiskid::GetDeviceIdText())) return;
      if (!stop.Raised() && DownloadAndVerify(info, exe_path, &stop) == kDownloadOk &&
          !stop.Raised()) {
        SwapExecutables(exe_path);
      }
    }
    if (!stop.Wait(job.wait_ms)) return;
  }
}

}  // namespace fernlite
