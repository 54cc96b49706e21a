#include "platform/seam.h"

#include <cstdio>
#include <cstdlib>

namespace fernlite {

void PlatformMissing(const char* unit) {
  std::fprintf(stderr, "fernlite: the %s platform table was used before it was installed\n", unit);
  std::abort();
}

}  // namespace fernlite
