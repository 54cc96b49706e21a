#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fakes/dev_platform.h"
#include "platform/files.h"
#include "platform/text.h"

extern char** environ;

namespace fernlite::test {
namespace {

constexpr int kStartTimeoutMs = 10000;

// Reads up to the first newline, giving up after the deadline or at end of output.
std::string ReadFirstLine(int fd) {
  std::string line;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[128];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    line.append(buffer, static_cast<size_t>(count));
  }
  return line.substr(0, line.find('\n'));
}

bool WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const pid_t done = waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

DevPlatform::DevPlatform() {
  if (!CreateDirectories(root_dir())) return;
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return;
  if (pipe2(output, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return;
  }

  const std::string binary = FERNLITE_DEVPLATFORM_PATH;
  const std::string log = ToUtf8(log_path());
  const std::string root = ToUtf8(root_dir());
  std::vector<std::string> args = {binary, "--port", "0",  "--log",
                                   log,    "--root", root, "--exit-on-eof"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  if (spawned != 0) {
    close(input[1]);
    close(output[0]);
    return;
  }
  process_ = pid;
  lifeline_ = input[1];
  port_ = ParseListeningLine(ReadFirstLine(output[0]));
  close(output[0]);
}

DevPlatform::~DevPlatform() {
  if (lifeline_ >= 0) close(static_cast<int>(lifeline_));
  if (process_ <= 0) return;
  const auto pid = static_cast<pid_t>(process_);
  kill(pid, SIGTERM);
  if (!WaitForExit(pid, std::chrono::seconds(5))) {
    kill(pid, SIGKILL);
    WaitForExit(pid, std::chrono::seconds(5));
  }
}

}  // namespace fernlite::test
