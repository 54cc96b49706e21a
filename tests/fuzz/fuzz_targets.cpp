#include "fuzz/fuzz_targets.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/desktop_entry.h"
#include "app/run_settings.h"
#include "app/self_install.h"
#include "app/shortcuts.h"
#include "app/upgrade.h"
#include "game/bridge_call.h"
#include "game/page_origin.h"
#include "game/script_bridge.h"
#include "identity/base64.h"
#include "identity/cipher.h"
#include "identity/device_id.h"
#include "identity/identity_record.h"
#include "net/http_fetch.h"
#include "net/user_agent.h"
#include "net/user_agent_platform.h"
#include "platform/process.h"
#include "platform/process_platform.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite::fuzz {

std::span<const Target> PlatformTargets();

namespace {

std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A broken property is a finding: stop so the fuzzer keeps the input.
void Require(bool property) {
  if (!property) std::abort();
}

// Splits the input at zero bytes into up to `count` fields (missing ones are empty).
std::vector<std::string> Fields(std::string_view bytes, std::size_t count) {
  std::vector<std::string> fields;
  while (fields.size() + 1 < count) {
    const std::size_t zero = bytes.find('\0');
    if (zero == std::string_view::npos) break;
    fields.emplace_back(bytes.substr(0, zero));
    bytes.remove_prefix(zero + 1);
  }
  fields.emplace_back(bytes);
  fields.resize(count);
  return fields;
}

int Base64(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const std::string decoded = DecodeBase64(bytes);
  Require(decoded.size() <= bytes.size());
  Require(DecodeBase64(EncodeBase64(bytes)) == bytes);
  Require(DecodeBase64(EncodeBase64NoBreaks(bytes)) == bytes);
  return 0;
}

int Record(const std::uint8_t* data, std::size_t size) {
  const std::string plain = DecryptRecordText(Bytes(data, size));
  CIdentityRecord record(u"qmzt", u"281", u"407", u"1.0.0.1", u"vexa_qmzt.exe", true);
  record.DeviceId = u"00-11-22-33-44-55";
  record.ParseText(plain);
  record.ParseText(Bytes(data, size));
  return 0;
}

int DeviceDescriptors(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  if (size >= 5) {
    long offset = 0;
    for (int i = 0; i < 4; ++i) offset = offset * 256 + data[i];
    offset -= 1L << 30;  // negative offsets too
    getdiskid::DecodeDescriptorString(bytes.substr(5), offset, data[4] & 1);
  }
  unsigned char block[512] = {};
  for (std::size_t i = 0; i < size && i < sizeof block; ++i) block[i] = data[i];
  getdiskid::ParseIdentifyBlock(0, block);
  getdiskid::ClearSerialBuffer();
  getdiskid::SerialFromVpdPage80(bytes);
  getdiskid::ParseMacAddressText(bytes);
  getdiskid::StripAttributeLineEnd(std::string(bytes));
  return 0;
}

int CommandLine(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> fields = Fields(Bytes(data, size), 3);
  // Whatever the command line, the parser reads it without harm.
  std::vector<std::u16string> args{u"vexa_qmzt.exe"};
  for (std::u16string& element : SplitArguments(FromUtf8(fields[0]))) {
    args.push_back(std::move(element));
  }
  RunSettings parsed;
  StartupFlags flags;
  ParseCommandLine(args, parsed, flags);

  // Every channel value and path written into a relaunch line comes back as it was.
  RunSettings settings;
  settings.ChannelID = FromUtf8(fields[1]);
  settings.SubChannelID = u"407";
  const std::u16string path = u"C:\\Users\\p\\" + FromUtf8(fields[2]);
  const std::u16string line = RelaunchParameters(NewShortcutArguments(settings), path, u"label");
  std::vector<std::u16string> relaunch{u"vexa_qmzt.exe"};
  for (std::u16string& element : SplitArguments(line)) relaunch.push_back(std::move(element));
  RunSettings back;
  StartupFlags back_flags;
  ParseCommandLine(relaunch, back, back_flags);
  const std::u16string expected = NormaliseChannel(settings.ChannelID);
  Require(back.ChannelID == (settings.ChannelID.empty() ? u"" : expected));
  Require(back.SubChannelID == u"407");
  Require(back_flags.DeletePath == path);
  Require(back.BubbleIconName == u"label");
  return 0;
}

int UpgradeDescription(const std::uint8_t* data, std::size_t size) {
  UpgradeInfo info;
  if (ParseUpgradeDescriptionText(std::string(Bytes(data, size)), info)) {
    ParseVersion(info.DistVersion);
    DecideUpgrade(info, u"00-11-22-33-44-55");  // no executable path: decided without files
  }
  return 0;
}

int UserAgent(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> fields = Fields(Bytes(data, size), 8);
  UserAgentPlatform settings;
  settings.key_exists = [&](UaKey) { return !fields[0].empty() && fields[0][0] & 1; };
  settings.value = [&](UaKey key, std::string_view name) -> std::optional<std::string> {
    const std::size_t index = 1 + (static_cast<std::size_t>(key) + name.size()) % 3;
    if (fields[index].empty()) return std::nullopt;
    return fields[index];
  };
  settings.subkey_value_names = [&](UaKey,
                                    std::string_view) -> std::optional<std::vector<std::string>> {
    if (fields[4].empty()) return std::nullopt;
    return Fields(fields[4], 1 + fields[4].size() % 40);
  };
  settings.internet_settings_user_agent = [&]() -> std::optional<std::string> {
    if (fields[5].empty()) return std::nullopt;
    return fields[5];
  };
  settings.operating_system = [&]() -> std::optional<OsVersion> {
    if (fields[6].size() < 3) return std::nullopt;
    OsVersion version;
    version.family = static_cast<OsVersion::Family>(fields[6][0] & 3);
    version.major = static_cast<unsigned char>(fields[6][1]);
    version.minor = static_cast<unsigned char>(fields[6][2]);
    version.name = fields[7];
    return version;
  };
  AssembleUserAgent(settings);
  return 0;
}

int BridgeDispatch(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The call command's text form, then a dispatch as the page's script engine would do it.
  const std::string_view bytes = Bytes(data + 1, size - 1);
  if (const std::optional<BridgeCall> call = ParseBridgeCall("call " + std::string(bytes))) {
    std::vector<ScriptValue> values;
    for (const CallArgument& argument : call->arguments) {
      if (const auto* text = std::get_if<std::u16string>(&argument)) {
        values.emplace_back(*text);
      } else if (const auto* number = std::get_if<std::int32_t>(&argument)) {
        values.emplace_back(*number);
      } else if (const auto* flag = std::get_if<bool>(&argument)) {
        values.emplace_back(*flag ? -1 : 0);
      } else {
        values.emplace_back(std::monostate());
      }
    }
    std::int32_t dispid = LookupDispId(call->method);
    // The user data methods write beside the program: left to the ordinary tests.
    if (dispid == kDispWriteUserDataToFile || dispid == kDispReadUserDataFromFile) {
      dispid = kDispSetGuestInfo;
    }
    RunSettings settings;
    ScriptBridge bridge(settings);
    bridge.Invoke(dispid, ValueArguments::FromCallOrder(values));
    bridge.Invoke(0x1000 + (data[0] & 15), ValueArguments(values));
  }
  return 0;
}

int Urls(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const std::u16string text = FromUtf8(bytes);
  if (const auto parts = SplitUrl(text)) Require(!parts->host.empty() && parts->port != 0);
  const std::u16string origin = WebOrigin(text);
  // An origin is its own origin.
  if (!origin.empty()) Require(WebOrigin(origin) == origin);
  IsPlatformAddress(text);
  ParseContentLength(bytes);
  return 0;
}

int DesktopFiles(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  DesktopEntryArguments(bytes);
  DesktopDirFromUserDirs(bytes, std::string("/home/p"));
  DesktopDirFromUserDirs(bytes, std::nullopt);
  // An entry the program writes gives its arguments back.
  const std::vector<std::string> fields = Fields(bytes, 2);
  if (fields[1].find('\0') == std::string::npos) {
    const std::string entry = BuildDesktopEntry("/opt/a b/vexa_qmzt", fields[0], fields[1], "/opt");
    const auto arguments = DesktopEntryArguments(entry);
    Require(arguments.has_value() && *arguments == fields[1]);
  }
  return 0;
}

constexpr Target kPortableTargets[] = {
    {"base64", &Base64},
    {"record", &Record},
    {"device_descriptors", &DeviceDescriptors},
    {"command_line", &CommandLine},
    {"upgrade_description", &UpgradeDescription},
    {"user_agent", &UserAgent},
    {"bridge_dispatch", &BridgeDispatch},
    {"urls", &Urls},
    {"desktop_files", &DesktopFiles},
};

}  // namespace

std::span<const Target> Targets() {
  static const std::vector<Target>& all = *[] {
    auto* targets =
        new std::vector<Target>(std::begin(kPortableTargets), std::end(kPortableTargets));
    for (const Target& target : PlatformTargets()) targets->push_back(target);
    return targets;
  }();
  return all;
}

void Prepare() {
  // The process list is asked by every parse; no process scan per input.
  static ProcessPlatform quiet = [] {
    ProcessPlatform process = Platform<ProcessPlatform>();
    process.is_running = [](std::u16string_view) { return false; };
    return process;
  }();
  static ScopedPlatform<ProcessPlatform>* scoped = new ScopedPlatform<ProcessPlatform>(quiet);
  (void)scoped;
}

}  // namespace fernlite::fuzz
