// Process entry of the Windows build.
#include <windows.h>

#include "app/startup.h"
#include "platform/process.h"

// The command line comes from the process's own argument vector, split by the shell's rules.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  return fernlite::RunProcess(fernlite::ProcessArguments(0, nullptr), show_command);
}
