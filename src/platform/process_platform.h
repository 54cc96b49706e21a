// What the process unit needs from the system.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fernlite {

struct ProcessPlatform {
  static constexpr const char* kUnit = "process";
  // A running process has exactly this executable file name, compared without case.
  std::function<bool(std::u16string_view exe_name)> is_running;
  // Starts the program with the elements of the parameter text; does not wait for it.
  std::function<bool(const std::u16string& program, const std::u16string& parameters)> start;
  // The process's own arguments, element 0 being the program (Windows ignores argc/argv).
  std::function<std::vector<std::u16string>(int argc, char** argv)> arguments;
  // nullopt when the variable is not set.
  std::function<std::optional<std::u16string>(const char* name)> environment;
  // One line of diagnostic output (Windows: the debugger; Linux: standard error when
  // FERNLITE_DEBUG_OUTPUT is set).
  std::function<void(std::u16string_view line)> debug_line;
};

const ProcessPlatform& NativeProcessPlatform();

}  // namespace fernlite
