// What the start-up sequence needs from the system: its services and the marker file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace fernlite {

struct StartupPlatform {
  static constexpr const char* kUnit = "startup";
  // COM for this thread and the drawing library; true when the drawing library is available.
  std::function<bool()> start_services;
  std::function<void(bool drawing_started)> stop_services;
  // Opens the marker file, creating it, so that no other process can delete it while it is
  // held (Windows: no delete sharing; Linux: a shared flock, which RemoveFile respects). A
  // second launcher opens the same file. -1 when it cannot be opened.
  std::function<std::intptr_t(const std::u16string& path)> hold_marker;
  std::function<void(std::intptr_t handle)> release_marker;
};

const StartupPlatform& NativeStartupPlatform();

}  // namespace fernlite
