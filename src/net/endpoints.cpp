#include "net/endpoints.h"

#include "build_config.h"
#include "platform/process.h"

namespace fernlite {
namespace {

std::u16string_view BuiltInBase(Endpoint endpoint) {
  switch (endpoint) {
    case Endpoint::kGame: return build::kGameHost;
    case Endpoint::kStatic: return build::kStaticHost;
    case Endpoint::kDataCollector: return build::kDataCollector;
    case Endpoint::kStatsCollector: return build::kStatsCollector;
    case Endpoint::kPortal: return build::kPortalHost;
    case Endpoint::kForum: break;
  }
  return build::kForumHost;
}

std::u16string WithoutTrailingSlashes(std::u16string_view base) {
  while (!base.empty() && base.back() == u'/') base.remove_suffix(1);
  return std::u16string(base);
}

}  // namespace

std::u16string PlatformBase(Endpoint endpoint, const std::optional<std::u16string>& override_base) {
  if (override_base && !override_base->empty()) return WithoutTrailingSlashes(*override_base);
  return WithoutTrailingSlashes(BuiltInBase(endpoint));
}

std::optional<std::u16string> PlatformOverride() {
  return EnvironmentVariable("FERNLITE_PLATFORM");
}

std::u16string PlatformBase(Endpoint endpoint) {
  return PlatformBase(endpoint, PlatformOverride());
}

}  // namespace fernlite
