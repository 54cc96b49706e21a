// The launcher's first window, timed from its start: a copy started against the development
// platform with FERNLITE_REPORT_MAPPED=1 prints the monotonic clock when its window maps.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "first_window.h"

namespace {

long long MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads one line from a descriptor (without the newline).
std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

// Starts the development platform on a free port; it ends when our end of its input closes.
struct Platform {
  pid_t pid = -1;
  int input = -1;
  int port = 0;
};

Platform StartPlatform(const std::filesystem::path& dir) {
  Platform platform;
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return platform;
  const std::string log = (dir / "requests.jsonl").string();
  platform.pid = fork();
  if (platform.pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    execl(FERNLITE_DEVPLATFORM_PATH, "devplatform", "--port", "0", "--log", log.c_str(),
          "--exit-on-eof", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  platform.input = in[1];
  const std::string line = ReadLine(out[0]);
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos)
    platform.port = std::atoi(line.c_str() + colon + 1);
  return platform;
}

}  // namespace

long long FirstWindowMs() {
  if (!std::getenv("DISPLAY")) return -1;
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/fernlite-bench-XXXXXX";
  if (!mkdtemp(pattern)) return -1;
  const fs::path dir = pattern;
  const fs::path exe = dir / fs::path(FERNLITE_LAUNCHER_PATH).filename();
  std::error_code error;
  fs::copy_file(FERNLITE_LAUNCHER_PATH, exe, error);
  fs::create_directories(dir / "home", error);
  Platform platform = StartPlatform(dir);
  long long result = -1;
  if (platform.port > 0) {
    std::vector<std::string> env{
        "DISPLAY=" + std::string(std::getenv("DISPLAY")),
        "HOME=" + (dir / "home").string(),
        "XDG_CACHE_HOME=" + (dir / "home").string(),
        "XDG_CONFIG_HOME=" + (dir / "home").string(),
        "XDG_DATA_HOME=" + (dir / "home").string(),
        "FERNLITE_PLATFORM=http://127.0.0.1:" + std::to_string(platform.port),
        "FERNLITE_REPORT_MAPPED=1",
        "ASAN_OPTIONS=detect_leaks=0"};
    if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
    if (const char* xauth = std::getenv("XAUTHORITY"))
      env.push_back(std::string("XAUTHORITY=") + xauth);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe_text = exe.string(), i = "/I", noinstall = "noinstall";
    char* argv[] = {exe_text.data(), i.data(), noinstall.data(), nullptr};
    int out[2];
    if (pipe2(out, O_CLOEXEC) == 0) {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
      pid_t pid = -1;
      const long long start = MonotonicMs();
      if (posix_spawn(&pid, exe_text.c_str(), &actions, nullptr, argv, envp.data()) == 0) {
        close(out[1]);
        out[1] = -1;
        for (std::string line; !(line = ReadLine(out[0])).empty();) {
          if (line.rfind("mapped ms: ", 0) == 0) {
            result = std::atoll(line.c_str() + 11) - start;
            break;
          }
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
      posix_spawn_file_actions_destroy(&actions);
      if (out[1] >= 0) close(out[1]);
      close(out[0]);
    }
  }
  if (platform.pid > 0) {
    close(platform.input);
    waitpid(platform.pid, nullptr, 0);
  }
  fs::remove_all(dir, error);
  return result;
}
