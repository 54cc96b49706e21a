#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdlib>

#include "fakes/test_env.h"
#include "platform/text.h"

namespace fernlite::test {

// Both the C runtime's copy and the process environment block, since the code under test reads
// the latter through GetEnvironmentVariableW.
void SetEnv(const char* name, const std::optional<std::string>& value) {
  _putenv_s(name, value ? value->c_str() : "");
  const std::u16string wide_name = FromUtf8(name);
  const std::u16string wide_value = value ? FromUtf8(*value) : std::u16string();
  SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()),
                          value ? reinterpret_cast<const wchar_t*>(wide_value.c_str()) : nullptr);
}

std::uint64_t PeakMemoryBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace fernlite::test

namespace fernlite::test {

LockedFile::LockedFile(const std::u16string& path) {
  HANDLE file =
      CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<intptr_t>(file);
}

LockedFile::~LockedFile() {
  if (ok()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace fernlite::test
