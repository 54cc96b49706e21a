#include <windows.h>

#include "net/user_agent.h"
#include "net/user_agent_platform.h"
#include "platform/handles_win32.h"
#include "platform/text.h"

namespace fernlite {
namespace {

constexpr char kInternetSettings[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// Longest value name the registry allows, terminator included.
constexpr DWORD kMaxValueNameBuffer = 16384;

struct KeyPlace {
  HKEY root;
  const char* path;
};

KeyPlace PlaceOf(UaKey key) {
  switch (key) {
    case UaKey::kMachine:
      return {HKEY_LOCAL_MACHINE,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent"};
    case UaKey::kUser:
      return {HKEY_CURRENT_USER,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent"};
    case UaKey::kMachine50:
      return {HKEY_LOCAL_MACHINE,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\User Agent"};
    case UaKey::kUser50: break;
  }
  return {HKEY_CURRENT_USER,
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\User Agent"};
}

UniqueRegistryKey RegistryKey(HKEY root, const std::string& path) {
  UniqueRegistryKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

std::optional<std::string> ReadString(HKEY key, const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::string value(size, '\0');
  if (size != 0 &&
      RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(size);
  // The stored text ends at its first terminator.
  const auto end = value.find('\0');
  if (end != std::string::npos) value.resize(end);
  return value;
}

bool KeyExists(UaKey key) {
  const KeyPlace place = PlaceOf(key);
  return static_cast<bool>(RegistryKey(place.root, place.path));
}

std::optional<std::string> Value(UaKey key, std::string_view name) {
  const KeyPlace place = PlaceOf(key);
  const UniqueRegistryKey opened = RegistryKey(place.root, place.path);
  if (!opened) return std::nullopt;
  return ReadString(opened.get(), std::string(name));
}

std::optional<std::vector<std::string>> SubkeyValueNames(UaKey key, std::string_view subkey) {
  const KeyPlace place = PlaceOf(key);
  const UniqueRegistryKey opened =
      RegistryKey(place.root, std::string(place.path) + "\\" + std::string(subkey));
  if (!opened) return std::nullopt;
  std::vector<std::string> names;
  std::vector<char> buffer(kMaxValueNameBuffer);
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxValueNameBuffer;
    if (RegEnumValueA(opened.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(buffer.data(), length);
  }
  return names;
}

std::optional<std::string> InternetSettingsUserAgent() {
  const UniqueRegistryKey opened = RegistryKey(HKEY_CURRENT_USER, kInternetSettings);
  if (!opened) return std::nullopt;
  return ReadString(opened.get(), "User Agent");
}

std::optional<OsVersion> OperatingSystem() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return std::nullopt;
  OsVersion version;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    version.family = OsVersion::Family::kWindows9x;
  } else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    version.family = OsVersion::Family::kWindowsNt;
  } else {
    version.family = OsVersion::Family::kOther;
  }
  return version;
}

}  // namespace

const UserAgentPlatform& NativeUserAgentPlatform() {
  static const UserAgentPlatform& table = *new UserAgentPlatform{
      &KeyExists, &Value, &SubkeyValueNames, &InternetSettingsUserAgent, &OperatingSystem};
  return table;
}

}  // namespace fernlite
