// Processes: the running-process query and the process's own argument vector.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

// True when a running process has exactly this executable file name, compared without regard
// to case. A process list that cannot be read counts as no such process.
bool IsProcessRunning(std::u16string_view exe_name);

// The process's arguments, element 0 being the program path. Windows takes them from
// GetCommandLineW split by the shell's rules and ignores argc/argv; Linux converts argv.
std::vector<std::u16string> ProcessArguments(int argc, char** argv);

}  // namespace fernlite
