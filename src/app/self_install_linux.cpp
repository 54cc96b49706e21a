#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/self_install.h"
#include "platform/files.h"
#include "platform/text.h"

extern char** environ;

namespace fernlite {

bool CopyExecutable(const std::u16string& from, const std::u16string& to) {
  const auto bytes = ReadFileBytes(from);
  // Replacing by rename also works while the installed copy is running, where writing into
  // the file in place would fail.
  if (!bytes || !WriteFileAtomic(to, *bytes)) return false;
  return ::chmod(ToUtf8(to).c_str(), 0755) == 0;
}

bool StartProgram(const std::u16string& program, const std::u16string& parameters) {
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

}  // namespace fernlite
