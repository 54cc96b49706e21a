// Running the main loop in tests of GTK windows until something has happened.
#pragma once

#include <glib.h>

#include <chrono>
#include <functional>

namespace fernlite::test {

// Iterates the default main context until `done`, or until the seconds have passed.
inline bool RunUntil(const std::function<bool()>& done, int seconds = 20) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return done();
}

}  // namespace fernlite::test
