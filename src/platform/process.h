// Processes: the running-process query, starting a program, the process's own arguments and
// environment, and the Windows rules for writing and reading command-line elements.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

// True when a running process has exactly this executable file name, compared without regard
// to case. A process list that cannot be read counts as no such process.
bool IsProcessRunning(std::u16string_view exe_name);

// Starts the program with the parameter text (a command-line tail); does not wait for it.
bool StartProgram(const std::u16string& program, const std::u16string& parameters);

// The process's arguments, element 0 being the program path. Windows takes them from
// GetCommandLineW split by the shell's rules and ignores argc/argv; Linux converts argv.
std::vector<std::u16string> ProcessArguments(int argc, char** argv);

std::optional<std::u16string> EnvironmentVariable(const char* name);

// A diagnostic line for a developer; never shown to the player.
void WriteDebugLine(std::u16string_view line);

// One command-line element quoted so that the Windows argument rules give it back unchanged.
std::u16string QuoteArgument(std::u16string_view element);
// Splits a command-line tail by the Windows argument rules (the rules for elements after the
// program name).
std::vector<std::u16string> SplitArguments(std::u16string_view text);

}  // namespace fernlite
