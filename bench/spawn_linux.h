// Pieces the Linux benchmarks share for starting programs: the development platform on a free
// port, a throw-away client folder, and children in a process group of their own whose
// standard output is read line by line and whose whole tree can be measured and killed.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "monotonic_linux.h"

namespace fernlite::bench {

// The development platform; it ends when our end of its standard input closes.
class DevPlatform {
 public:
  // Extra arguments follow the usual ones (e.g. {"--collectors", "silent"}).
  DevPlatform(const std::filesystem::path& dir, const std::vector<std::string>& extra = {});
  ~DevPlatform();
  DevPlatform(const DevPlatform&) = delete;
  DevPlatform& operator=(const DevPlatform&) = delete;

  // 0 when it did not start.
  int port() const { return port_; }
  std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int port_ = 0;
};

// A folder of its own under /tmp, removed with everything in it when this ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when it could not be made.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The environment a started program gets: the display, PATH, a HOME and XDG folders inside
// `home`, and the extra entries ("NAME=value").
std::vector<std::string> ChildEnvironment(const std::filesystem::path& home,
                                          const std::vector<std::string>& extra);

// Copies the launcher into `app_dir`; its path, or empty when the copy failed.
std::filesystem::path CopyLauncher(const std::filesystem::path& app_dir);

// The launcher's arguments for a run in place, without installing itself.
std::vector<std::string> LauncherArguments(const std::filesystem::path& exe);

// A started program with its standard output on a pipe; standard input is /dev/null and
// standard error goes to `error_file`. Killed with its whole tree when this ends. A thread
// reads the output as it comes, so each line is stamped when it arrives, not when asked for.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Returns the monotonic time just before the spawn, or a negative number when it failed.
  double Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::filesystem::path& error_file);

  // The next output line (no newline) if one arrives before `deadline_ms` (monotonic), with
  // the time it was read. False at the deadline or once the output has ended.
  bool ReadLine(double deadline_ms, std::string& line, double& stamp_ms);

  // The output has ended (every process holding the pipe is gone) and all of it was read.
  bool ended();

  pid_t pid() const { return pid_; }
  // This process and all its descendants, found through /proc.
  std::vector<pid_t> Tree() const;
  void Kill();

 private:
  void ReadOutput(int fd);

  pid_t pid_ = -1;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::string, double>> lines_;
  bool ended_ = false;
};

// From now on SIGINT, SIGTERM and SIGHUP kill the groups of the children still running before
// ending this process, which otherwise would leave them behind in their own groups.
void KillChildrenOnSignal();

// Proportional set size of a process in KiB; -1 when it is gone or cannot be read.
long long PssKiB(pid_t pid);

// User plus system CPU time a process has used, in milliseconds; -1 when it is gone.
double CpuMs(pid_t pid);

}  // namespace fernlite::bench
