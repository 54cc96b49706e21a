// CLOCK_MONOTONIC in milliseconds: bench_start and the programs it starts stamp with it.
#pragma once

#include <ctime>

namespace fernlite::bench {

inline double MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace fernlite::bench
