#include <dirent.h>
#include <spawn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/process.h"
#include "platform/process_platform.h"
#include "platform/text.h"

extern char** environ;

namespace fernlite {

namespace {

// The kernel keeps at most this many characters of a process name in /proc/<pid>/comm.
constexpr size_t kCommLength = 15;

bool IsPid(const char* name) {
  if (*name == '\0') return false;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// The last path component; a Windows program run under an emulator shows a backslash path.
std::string_view BaseName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool NameMatches(std::string_view candidate, std::u16string_view wanted) {
  return !candidate.empty() && EqualsNoCase(FromUtf8(candidate), wanted);
}

bool ExeMatches(const std::string& dir, std::u16string_view wanted) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink((dir + "/exe").c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  std::string_view path(target, static_cast<size_t>(n));
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted) {
    path.remove_suffix(kDeleted.size());
  }
  return NameMatches(BaseName(path), wanted);
}

bool CommandMatches(const std::string& dir, std::u16string_view wanted) {
  std::ifstream cmdline(dir + "/cmdline", std::ios::binary);
  std::string argv0;
  if (cmdline && std::getline(cmdline, argv0, '\0') && NameMatches(BaseName(argv0), wanted)) {
    return true;
  }
  // comm may be cut short, so it only decides names that fit in it whole.
  if (wanted.size() >= kCommLength) return false;
  std::ifstream comm_file(dir + "/comm");
  std::string comm;
  return comm_file && std::getline(comm_file, comm) && NameMatches(comm, wanted);
}

bool IsRunning(std::u16string_view exe_name) {
  if (exe_name.empty()) return false;
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = ::readdir(proc);
    if (!entry) break;
    if (!IsPid(entry->d_name)) continue;
    const std::string dir = std::string("/proc/") + entry->d_name;
    // Other users' executables are often unreadable; their command line and name are not.
    found = ExeMatches(dir, exe_name) || CommandMatches(dir, exe_name);
  }
  ::closedir(proc);
  return found;
}

std::vector<std::u16string> Arguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  if (!argv) return args;
  args.reserve(static_cast<size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc && argv[i]; ++i) args.push_back(FromUtf8(argv[i]));
  return args;
}

bool Start(const std::u16string& program, const std::u16string& parameters) {
  std::vector<std::string> elements{ToUtf8(program)};
  for (const std::u16string& element : SplitArguments(parameters)) {
    elements.push_back(ToUtf8(element));
  }
  std::vector<char*> argv;
  for (std::string& element : elements) argv.push_back(element.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  return ::posix_spawn(&child, elements[0].c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

std::optional<std::u16string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return FromUtf8(value);
}

void DebugLine(std::u16string_view line) {
  const char* enabled = std::getenv("FERNLITE_DEBUG_OUTPUT");
  if (!enabled || !*enabled) return;
  std::fprintf(stderr, "%s\n", ToUtf8(line).c_str());
}

}  // namespace

const ProcessPlatform& NativeProcessPlatform() {
  static const ProcessPlatform& table =
      *new ProcessPlatform{&IsRunning, &Start, &Arguments, &Environment, &DebugLine};
  return table;
}

}  // namespace fernlite
