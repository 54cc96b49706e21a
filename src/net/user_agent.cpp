#include "net/user_agent.h"

#include "net/user_agent_platform.h"
#include "platform/seam.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace fernlite {
namespace {

constexpr size_t kMinGrowth = 260;
// Enumeration buffers: a token name must fit 256 bytes, a platform name 260, terminator included.
constexpr size_t kMaxTokenName = 255;
constexpr size_t kMaxPlatformName = 259;
constexpr size_t kMaxInternetSettingsUserAgent = 259;

struct Field {
  std::string_view value_name;
  std::string_view fallback;
  std::string_view separator;
};
constexpr Field kFields[] = {
    {"", "Mozilla/4.0", " ("},
    {"Compatible", "compatible", "; "},
    {"Version", "MSIE 7.0", "; "},
};

// Names of a subkey under the enumeration rule: empty names are skipped, the first name
// longer than the limit ends the list.
std::vector<std::string> UsableNames(std::optional<std::vector<std::string>> names, size_t limit) {
  std::vector<std::string> usable;
  if (!names) return usable;
  for (auto& name : *names) {
    if (name.size() > limit) break;
    if (name.empty()) continue;
    usable.push_back(std::move(name));
  }
  return usable;
}

std::optional<std::string> NonEmptyValue(const UserAgentPlatform& settings, UaKey key,
                                         std::string_view name) {
  auto value = settings.value(key, name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

bool AssembleInto(const UserAgentPlatform& settings, GrowableBuffer& text) {
  for (const Field& field : kFields) {
    auto value = NonEmptyValue(settings, UaKey::kUser50, field.value_name);
    if (!value) value = NonEmptyValue(settings, UaKey::kMachine50, field.value_name);
    if (!text.Append(value ? std::string_view(*value) : field.fallback)) return false;
    if (!text.Append(field.separator)) return false;
  }

  auto tokens = settings.subkey_value_names(UaKey::kMachine, "UA Tokens");
  const auto browser_user_agent = settings.internet_settings_user_agent();
  if (tokens && browser_user_agent && !browser_user_agent->empty() &&
      browser_user_agent->size() <= kMaxInternetSettingsUserAgent) {
    for (const std::string& name : UsableNames(std::move(tokens), kMaxTokenName)) {
      const std::string needle = " " + name + "; ";
      if (browser_user_agent->find(needle) == std::string::npos) continue;
      if (!text.Append(name) || !text.Append("; ")) return false;
    }
  }

  for (UaKey key : kUaKeyOrder) {
    if (!settings.key_exists(key)) continue;
    for (const std::string& name :
         UsableNames(settings.subkey_value_names(key, "Pre Platform"), kMaxPlatformName)) {
      if (!text.Append(name) || !text.Append("; ")) return false;
    }
  }

  // An existing Platform value counts even when empty.
  auto platform = settings.value(UaKey::kUser50, "Platform");
  if (!platform) platform = settings.value(UaKey::kMachine50, "Platform");
  if (!platform) platform = PlatformTextFor(settings.operating_system());
  if (!text.Append(*platform)) return false;

  for (UaKey key : kUaKeyOrder) {
    if (!settings.key_exists(key)) continue;
    const bool version_key = key == UaKey::kMachine50 || key == UaKey::kUser50;
    for (const std::string& name :
         UsableNames(settings.subkey_value_names(key, "Post Platform"), kMaxPlatformName)) {
      if (!version_key && name == "compat") continue;
      if (!text.Append("; ") || !text.Append(name)) return false;
    }
  }
  return text.Append(")");
}

}  // namespace

char* GrowableBuffer::DefaultAllocate(size_t bytes) {
  return new (std::nothrow) char[bytes];
}

bool GrowableBuffer::Append(std::string_view bytes) {
  if (bytes.size() > capacity_ - size_) {
    const size_t growth = std::max(bytes.size(), kMinGrowth);
    if (growth > static_cast<size_t>(-1) - capacity_) return false;
    const size_t new_capacity = capacity_ + growth;
    std::unique_ptr<char[]> fresh(allocate_(new_capacity));
    if (!fresh) return false;
    if (size_ != 0) std::memcpy(fresh.get(), data_.get(), size_);
    data_ = std::move(fresh);
    capacity_ = new_capacity;
  }
  if (!bytes.empty()) std::memcpy(data_.get() + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
  return true;
}

std::string PlatformTextFor(const std::optional<OsVersion>& version) {
  if (!version) return "Win32";
  const std::string numbers = std::to_string(version->major) + "." + std::to_string(version->minor);
  switch (version->family) {
    case OsVersion::Family::kWindows9x: return version->minor == 0 ? "Windows 95" : "Windows 98";
    case OsVersion::Family::kWindowsNt: return "Windows NT " + numbers;
    case OsVersion::Family::kNamed: return version->name + " " + numbers;
    case OsVersion::Family::kOther: break;
  }
  return "Windows NT 5.0";
}

std::optional<std::string> AssembleUserAgent(const UserAgentPlatform& settings,
                                             GrowableBuffer::Allocator allocate) {
  try {
    GrowableBuffer text(allocate);
    if (!AssembleInto(settings, text)) return std::nullopt;
    return std::string(text.view());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

UserAgentCache::~UserAgentCache() {
  delete text_.load();
}

std::string UserAgentCache::Get(const UserAgentPlatform& settings,
                                GrowableBuffer::Allocator allocate) {
  if (const std::string* cached = text_.load(std::memory_order_acquire)) return *cached;
  auto built = AssembleUserAgent(settings, allocate);
  if (!built) return std::string(kFallbackUserAgent);
  auto* fresh = new (std::nothrow) std::string(std::move(*built));
  if (!fresh) return std::string(kFallbackUserAgent);
  const std::string* expected = nullptr;
  if (!text_.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
    delete fresh;
    return *expected;
  }
  return *fresh;
}

// Both platforms share one cache over their own settings store. Never destroyed: the
// upgrade worker may still be fetching while the process exits.
std::string GetUserAgent() {
  static UserAgentCache* const cache = new UserAgentCache;
  return cache->Get(Platform<UserAgentPlatform>());
}

std::u16string GetUserAgentText() {
  return FromAnsi(GetUserAgent());
}

}  // namespace fernlite
