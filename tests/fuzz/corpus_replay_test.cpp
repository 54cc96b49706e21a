// Every committed fuzz input, run through its target in this build: what the fuzzer once
// found stays fixed on every platform, sanitizers included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_targets.h"

#ifndef _WIN32
// The script message target keeps a JavaScript engine context for the process.
#include "fakes/web_engine_leaks.h"
#endif

namespace fernlite::fuzz {
namespace {

TEST(FuzzCorpus, EveryInputRunsThroughItsTarget) {
  Prepare();
  const std::filesystem::path root = std::filesystem::path(FERNLITE_FUZZ_CORPUS_DIR);
  ASSERT_TRUE(std::filesystem::is_directory(root)) << root;
  int targets_with_inputs = 0;
  for (const Target& target : Targets()) {
    const std::filesystem::path dir = root / target.name;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << "no corpus for " << target.name;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream file(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(file)), {});
      EXPECT_EQ(target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0)
          << entry.path();
      ++inputs;
    }
    EXPECT_GT(inputs, 0) << target.name;
    if (inputs > 0) ++targets_with_inputs;
  }
  EXPECT_EQ(targets_with_inputs, static_cast<int>(Targets().size()));
}

}  // namespace
}  // namespace fernlite::fuzz
