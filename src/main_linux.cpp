// Process entry of the Linux build.
#include "app/startup.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // 1 is the "show normally" command a desktop start gives on Windows.
  return fernlite::RunProcess(fernlite::ProcessArguments(argc, argv), 1);
}
