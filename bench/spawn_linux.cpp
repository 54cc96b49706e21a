#include "spawn_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace fernlite::bench {
namespace {

namespace fs = std::filesystem;

std::string ReadLineFrom(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Fields of /proc/PID/stat after the command name, which may itself hold spaces and brackets.
std::vector<std::string> StatFields(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(file, text);
  const size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) return {};
  std::istringstream rest(text.substr(name_end + 1));
  std::vector<std::string> fields;
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

// The groups of the children running now, for the signal handler.
constexpr size_t kMaxChildren = 8;
std::atomic<pid_t> running[kMaxChildren];

void Track(pid_t group) {
  for (auto& slot : running) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, group)) return;
  }
}

void Untrack(pid_t group) {
  for (auto& slot : running) {
    pid_t expected = group;
    slot.compare_exchange_strong(expected, 0);
  }
}

// The newest temporary folder, for the signal handler (which may only fork and exec).
char temp_dir_to_remove[256];

void KillRunningAndExit(int signal_number) {
  for (auto& slot : running) {
    const pid_t group = slot.load();
    if (group > 0) kill(-group, SIGKILL);
  }
  if (temp_dir_to_remove[0] && fork() == 0) {
    execl("/bin/rm", "rm", "-rf", temp_dir_to_remove, static_cast<char*>(nullptr));
    _exit(127);
  }
  _exit(128 + signal_number);
}

}  // namespace

void KillChildrenOnSignal() {
  struct sigaction action {};
  action.sa_handler = KillRunningAndExit;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal_number, &action, nullptr);
  }
}

DevPlatform::DevPlatform(const fs::path& dir, const std::vector<std::string>& extra) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  std::vector<std::string> args{
      "devplatform", "--port", "0", "--log", (dir / "requests.jsonl").string(), "--exit-on-eof"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv = Pointers(args);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    // Its farewell line would otherwise land among ours.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    execv(FERNLITE_DEVPLATFORM_PATH, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  input_ = in[1];
  const std::string line = ReadLineFrom(out[0]);
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos)
    port_ = std::atoi(line.c_str() + colon + 1);
}

DevPlatform::~DevPlatform() {
  if (input_ >= 0) close(input_);
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}

TempDir::TempDir() {
  char pattern[] = "/tmp/fernlite-bench-XXXXXX";
  if (!mkdtemp(pattern)) return;
  path_ = pattern;
  std::snprintf(temp_dir_to_remove, sizeof temp_dir_to_remove, "%s", pattern);
}

TempDir::~TempDir() {
  std::error_code error;
  if (path_.empty()) return;
  if (path_ == temp_dir_to_remove) temp_dir_to_remove[0] = '\0';
  fs::remove_all(path_, error);
}

std::vector<std::string> ChildEnvironment(const fs::path& home,
                                          const std::vector<std::string>& extra) {
  std::error_code error;
  fs::create_directories(home, error);
  std::vector<std::string> env{"HOME=" + home.string(), "XDG_CACHE_HOME=" + home.string(),
                               "XDG_CONFIG_HOME=" + home.string(), "XDG_DATA_HOME=" + home.string(),
                               "ASAN_OPTIONS=detect_leaks=0"};
  for (const char* name : {"DISPLAY", "XAUTHORITY", "PATH", "XDG_RUNTIME_DIR"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

fs::path CopyLauncher(const fs::path& app_dir) {
  std::error_code error;
  fs::create_directories(app_dir, error);
  const fs::path exe = app_dir / fs::path(FERNLITE_LAUNCHER_PATH).filename();
  if (!fs::copy_file(FERNLITE_LAUNCHER_PATH, exe, fs::copy_options::overwrite_existing, error))
    return {};
  return exe;
}

std::vector<std::string> LauncherArguments(const fs::path& exe) {
  return {exe.string(), "/I", "noinstall"};
}

double Child::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const fs::path& error_file) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  std::vector<std::string> args = argv, vars = env;
  std::vector<char*> argp = Pointers(args), envp = Pointers(vars);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A group of its own, so the web engine's helpers go down with it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  const double start = MonotonicMs();
  const int failed =
      posix_spawn(&pid_, args[0].c_str(), &actions, &attributes, argp.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (failed) {
    pid_ = -1;
    close(out[0]);
    return -1;
  }
  Track(pid_);
  reader_ = std::thread(&Child::ReadOutput, this, out[0]);
  return start;
}

void Child::ReadOutput(int fd) {
  std::string partial;
  char buffer[4096];
  while (!stop_) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    const double stamp = MonotonicMs();
    partial.append(buffer, static_cast<size_t>(count));
    for (size_t newline; (newline = partial.find('\n')) != std::string::npos;) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(partial.substr(0, newline), stamp);
      partial.erase(0, newline + 1);
      changed_.notify_all();
    }
  }
  close(fd);
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

bool Child::ReadLine(double deadline_ms, std::string& line, double& stamp_ms) {
  std::unique_lock lock(mutex_);
  while (lines_.empty() && !ended_) {
    const double left = deadline_ms - MonotonicMs();
    if (left <= 0) return false;
    changed_.wait_for(lock, std::chrono::microseconds(static_cast<long long>(left * 1000)));
  }
  if (lines_.empty()) return false;
  line = std::move(lines_.front().first);
  stamp_ms = lines_.front().second;
  lines_.pop_front();
  return true;
}

bool Child::ended() {
  std::lock_guard lock(mutex_);
  return ended_ && lines_.empty();
}

std::vector<pid_t> Child::Tree() const {
  if (pid_ <= 0) return {};
  // Parent of every process, then everything reachable from ours.
  std::vector<std::pair<pid_t, pid_t>> parents;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::atoi(name.c_str());
    const std::vector<std::string> fields = StatFields(pid);
    // After the name: state, then the parent's id.
    if (fields.size() > 1) parents.emplace_back(pid, std::atoi(fields[1].c_str()));
  }
  std::set<pid_t> tree{pid_};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, parent] : parents) {
      if (tree.count(parent) && tree.insert(pid).second) grew = true;
    }
  }
  return {tree.begin(), tree.end()};
}

void Child::Kill() {
  if (pid_ > 0) {
    const std::vector<pid_t> tree = Tree();
    kill(-pid_, SIGKILL);
    // Helpers that left the group are still in the tree.
    for (const pid_t pid : tree) kill(pid, SIGKILL);
    waitpid(pid_, nullptr, 0);
    Untrack(pid_);
    pid_ = -1;
  }
  stop_ = true;
  if (reader_.joinable()) reader_.join();
}

Child::~Child() {
  Kill();
}

long long PssKiB(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/smaps_rollup");
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("Pss:", 0) == 0) return std::atoll(line.c_str() + 4);
  }
  return -1;
}

double CpuMs(pid_t pid) {
  // Every thread's time on a CPU in nanoseconds (the first field of its schedstat): finer
  // than the clock ticks of /proc/PID/stat, which round an idle second down to nothing.
  const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  double total_ns = 0;
  bool found = false;
  for (const auto& entry : fs::directory_iterator(tasks, error)) {
    std::ifstream file(entry.path() / "schedstat");
    double ns = 0;
    if (file >> ns) {
      total_ns += ns;
      found = true;
    }
  }
  if (found) return total_ns / 1e6;
  const std::vector<std::string> fields = StatFields(pid);
  // Else utime and stime, the 14th and 15th fields of the line.
  if (fields.size() < 14) return -1;
  const double ticks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
  return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace fernlite::bench
