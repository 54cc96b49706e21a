#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <vector>

#include "platform/handles_win32.h"
#include "platform/process.h"
#include "platform/process_platform.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

bool IsRunning(std::u16string_view exe_name) {
  if (exe_name.empty() || exe_name.size() > MAX_PATH) return false;
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  const std::u16string wanted(exe_name);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && !found;
       more = Process32NextW(snapshot.get(), &entry)) {
    found = CompareStringOrdinal(entry.szExeFile, -1, W(wanted), static_cast<int>(wanted.size()),
                                 TRUE) == CSTR_EQUAL;
  }
  return found;
}

bool Start(const std::u16string& program, const std::u16string& parameters) {
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

std::vector<std::u16string> Arguments(int, char**) {
  std::vector<std::u16string> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(FromWide(argv[i]));
  LocalFree(argv);
  return args;
}

std::optional<std::u16string> Environment(const char* name) {
  std::wstring wide_name(name, name + std::char_traits<char>::length(name));
  const DWORD needed = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::vector<wchar_t> buffer(needed);
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), buffer.data(), needed);
  if (length >= needed) return std::nullopt;
  return FromWide(buffer.data(), length);
}

void DebugLine(std::u16string_view line) {
  OutputDebugStringW(W(std::u16string(line)));
}

}  // namespace

const ProcessPlatform& NativeProcessPlatform() {
  static const ProcessPlatform& table =
      *new ProcessPlatform{&IsRunning, &Start, &Arguments, &Environment, &DebugLine};
  return table;
}

}  // namespace fernlite
