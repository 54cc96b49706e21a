// The launcher's first window, timed from its start: a copy started against the development
// platform with FERNLITE_REPORT_MAPPED=1 prints the monotonic clock when its window maps.
#include <cmath>
#include <cstdlib>
#include <string>

#include "first_window.h"
#include "spawn_linux.h"

namespace {

constexpr double kLimitMs = 15000;

}  // namespace

long long FirstWindowMs() {
  namespace bench = fernlite::bench;
  if (!std::getenv("DISPLAY")) return -1;
  bench::TempDir dir;
  if (dir.path().empty()) return -1;
  bench::DevPlatform platform(dir.path());
  if (platform.port() == 0) return -1;
  const std::filesystem::path exe = bench::CopyLauncher(dir.path() / "app");
  if (exe.empty()) return -1;
  const auto env = bench::ChildEnvironment(
      dir.path() / "home",
      {"FERNLITE_PLATFORM=" + platform.base_url(), "FERNLITE_REPORT_MAPPED=1"});
  bench::Child launcher;
  const double start =
      launcher.Start(bench::LauncherArguments(exe), env, dir.path() / "stderr.txt");
  if (start < 0) return -1;
  std::string line;
  double stamp = 0;
  while (launcher.ReadLine(start + kLimitMs, line, stamp)) {
    if (line.rfind("mapped ms: ", 0) == 0) {
      return std::llround(std::atof(line.c_str() + 11) - start);
    }
  }
  return -1;
}
