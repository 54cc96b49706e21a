// Where the platform lives. Hosts are build settings; the environment variable
// FERNLITE_PLATFORM ("http://host:port") replaces every one of them at run time.
#pragma once

#include <optional>
#include <string>

namespace fernlite {

enum class Endpoint { kGame, kStatic, kDataCollector, kStatsCollector, kPortal, kForum };

// Scheme and host (and port) of the endpoint, without a trailing slash.
std::u16string PlatformBase(Endpoint endpoint);

// The same decision with the override given explicitly (nullopt or empty: none).
std::u16string PlatformBase(Endpoint endpoint, const std::optional<std::u16string>& override_base);

// The value of FERNLITE_PLATFORM; nullopt when unset.
std::optional<std::u16string> PlatformOverride();

}  // namespace fernlite
