#include "app/upgrade.h"

#include <tinyxml.h>

#include <climits>

#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {

std::int32_t LeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT32_MAX) + 1)
      value = static_cast<long long>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<std::int32_t>(value);
}

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

bool ParseUpgradeDescriptionText(const std::string& xml, UpgradeInfo& info) {
  TiXmlDocument document;
  document.Parse(xml.c_str());
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
  const std::optional<std::string> bytes = ReadFileBytes(path);
  return bytes && ParseUpgradeDescriptionText(*bytes, info);
}

std::u16string UpgradeDescriptionUrl(std::u16string_view base, std::u16string_view game_code) {
  return std::u16string(base) + u"/game/wd/" + std::u16string(game_code) + u".xml";
}

std::u16string UpgradeDescriptionCopyPath(const std::u16string& exe_path,
                                          std::u16string_view game_code) {
  return PathAppend(PathDirectory(exe_path), std::u16string(game_code) + u"_upgrade.xml");
}

bool DecideUpgrade(const UpgradeInfo& info, const UpgradeEnvironment& env) {
  const std::int32_t rollout = RolloutValue(ToAnsi(env.device_id()));
  if (!(info.RegionMin <= rollout && rollout < info.RegionMax)) return false;
  if (info.ExePath.empty()) return false;
  const std::optional<Version> described = ParseVersion(info.DistVersion);
  if (!described) return false;
  const std::optional<Version> running = ParseVersion(U16ToAscii(env.file_version(info.ExePath)));
  if (!running) return false;
  return RunningIsOlder(*running, *described);
}

int DownloadAndVerify(const UpgradeInfo& info, const std::u16string& exe_path,
                      const UpgradeEnvironment& env) {
  if (exe_path.empty()) return kDownloadNoPath;
  const std::u16string new_path = exe_path + u".n";
  if (FileExists(new_path)) RemoveFile(new_path);

  const std::u16string url = FromAnsi(info.Url);
  if (!env.fetch(url, new_path)) return kDownloadFailed;

  if (info.FileLength != 0) {
    const std::uint64_t size = FileSizeOf(new_path).value_or(0);
    if (info.FileLength < 0 || size != static_cast<std::uint64_t>(info.FileLength)) {
      return kDownloadFailed;
    }
  }

  if (!info.Signature.empty() || kSignerRequired) {
    if (info.Signature.empty()) return kDownloadFailed;
    const std::optional<std::string> signer = env.signer_name(new_path, url);
    if (!signer || signer->size() >= kSignerNameCapacity || *signer != info.Signature) {
      return kDownloadFailed;
    }
  }
  if (!PrepareNewExecutable(new_path, exe_path)) return kDownloadFailed;
  return kDownloadOk;
}

int SwapExecutables(const std::u16string& exe_path, const UpgradeEnvironment& env) {
  const std::u16string old_path = exe_path + u".o";
  const std::u16string new_path = exe_path + u".n";
  if (!env.rename(exe_path, old_path)) return 1;
  if (!env.rename(new_path, exe_path)) {
    // Put the running executable back so the next start finds a program.
    env.rename(old_path, exe_path);
    return 1;
  }
  return 0;
}

int RemoveOldExecutable(const std::u16string& exe_path) {
  if (exe_path.empty()) return 2;
  const std::u16string old_path = exe_path + u".o";
  if (!FileExists(old_path)) return 0;
  RemoveFile(old_path);
  return 1;
}

void RunUpgradeWorker(const UpgradeEnvironment& env) {
  const std::u16string& exe_path = env.exe_path;
  RemoveOldExecutable(exe_path);
  const std::u16string copy_path = UpgradeDescriptionCopyPath(exe_path, env.game_code);

  UpgradeInfo info;
  for (;;) {
    if (env.stopped()) return;
    if (env.fetch(env.description_url, copy_path)) {
      ParseUpgradeDescription(copy_path, info);
      info.ExePath = exe_path;
      if (!DecideUpgrade(info, env)) return;
      if (!env.stopped() && DownloadAndVerify(info, exe_path, env) == kDownloadOk &&
          !env.stopped()) {
        SwapExecutables(exe_path, env);
      }
    }
    if (!env.wait(env.wait_ms)) return;
  }
}

}  // namespace fernlite
