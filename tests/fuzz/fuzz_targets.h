// Entry points that feed outside bytes to the program's parsers. libFuzzer drives each one in
// the fuzz build (scripts/fuzz); the corpus replay test runs every committed input through
// them in every build. A target returns 0, and aborts when a property of its parser breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace fernlite::fuzz {

struct Target {
  const char* name;  // also the corpus folder: tests/fuzz/corpus/<name>/
  int (*run)(const std::uint8_t* data, std::size_t size);
};

// The targets of this build (some exist on one platform only).
std::span<const Target> Targets();

// Once per process, before the first input: tables that keep the targets off the real system.
void Prepare();

}  // namespace fernlite::fuzz
