// One libFuzzer program per target: FERNLITE_FUZZ_TARGET names it.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_targets.h"
#include "platform/native_tables.h"

namespace {

const fernlite::fuzz::Target* g_target = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fernlite::InstallPlatform();
  fernlite::fuzz::Prepare();
  for (const auto& target : fernlite::fuzz::Targets()) {
    if (std::strcmp(target.name, FERNLITE_FUZZ_TARGET) == 0) g_target = &target;
  }
  if (!g_target) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  return g_target->run(data, size);
}
