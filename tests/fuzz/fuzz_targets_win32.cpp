// The Windows build has no parser of its own beyond the shared ones.
#include "fuzz/fuzz_targets.h"

namespace fernlite::fuzz {

std::span<const Target> PlatformTargets() {
  return {};
}

}  // namespace fernlite::fuzz
