#include <windows.h>

#include <vector>

#include "app/self_install.h"
#include "platform/wide_win32.h"

namespace fernlite {

bool CopyExecutable(const std::u16string& from, const std::u16string& to) {
  return CopyFileW(W(from), W(to), FALSE) != FALSE;
}

bool StartProgram(const std::u16string& program, const std::u16string& parameters) {
  const std::u16string line = QuoteArgument(program) + parameters;
  std::vector<wchar_t> buffer(line.begin(), line.end());  // CreateProcessW may write into it
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(W(program), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace fernlite
