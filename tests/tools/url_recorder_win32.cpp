// Stands in for the desktop's web browser in the Windows end-to-end tests: registered as the
// handler of http addresses, it appends the address it was given to the file that
// FERNLITE_URL_LOG names, one UTF-8 line each.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  wchar_t log[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"FERNLITE_URL_LOG", log, MAX_PATH);
  if (!arguments || count < 2 || length == 0 || length >= MAX_PATH) return 2;
  const std::wstring url = arguments[1];
  LocalFree(arguments);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, url.data(), static_cast<int>(url.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string line(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, url.data(), static_cast<int>(url.size()), line.data(), bytes,
                      nullptr, nullptr);
  line += '\n';
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
