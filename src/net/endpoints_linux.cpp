#include <cstdlib>

#include "net/endpoints.h"
#include "platform/text.h"

namespace fernlite {

std::optional<std::u16string> PlatformOverride() {
  const char* value = std::getenv("FERNLITE_PLATFORM");
  if (!value) return std::nullopt;
  return FromUtf8(value);
}

}  // namespace fernlite
