#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/process.h"
#include "platform/wide_win32.h"

namespace fernlite {

bool IsProcessRunning(std::u16string_view exe_name) {
  if (exe_name.empty() || exe_name.size() > MAX_PATH) return false;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  const std::u16string wanted(exe_name);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    found = CompareStringOrdinal(entry.szExeFile, -1, W(wanted), static_cast<int>(wanted.size()),
                                 TRUE) == CSTR_EQUAL;
  }
  CloseHandle(snapshot);
  return found;
}

std::vector<std::u16string> ProcessArguments(int, char**) {
  std::vector<std::u16string> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(FromWide(argv[i]));
  LocalFree(argv);
  return args;
}

}  // namespace fernlite
