// Under Wine the Linux build's server runs as a native process: CreateProcessW starts a Unix
// executable directly. It is forked off, so no process handle comes back, and it gets no
// Windows pipes (its standard input is /dev/null), so the port comes from a file and its
// life hangs on a socket: the open /control/lifeline request. Closing that socket, or this
// process ending in any way, stops the server.
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "fakes/dev_platform.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(5);

using UnixNameFunction = char*(CDECL*)(const wchar_t*);
using DosNameFunction = wchar_t*(CDECL*)(const char*);

// Wine's own path conversions; absent on Windows itself, where the server cannot run.
std::string UnixPath(const std::u16string& dos_path) {
  const auto convert = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return "";
  char* unix_path = convert(W(dos_path));
  if (!unix_path) return "";
  std::string result = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return result;
}

std::u16string DosPath(const std::string& unix_path) {
  const auto convert = reinterpret_cast<DosNameFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!convert) return u"";
  wchar_t* dos_path = convert(unix_path.c_str());
  if (!dos_path) return u"";
  std::u16string result = FromWide(dos_path);
  HeapFree(GetProcessHeap(), 0, dos_path);
  return result;
}

std::u16string Quoted(const std::string& utf8) {
  return u"\"" + FromUtf8(utf8) + u"\"";
}

int ReadPortFile(const std::u16string& path) {
  const std::optional<std::string> text = ReadFileBytes(path);
  if (!text || text->empty() || text->back() != '\n') return 0;
  int port = 0;
  for (char c : *text) {
    if (c == '\n') break;
    if (c < '0' || c > '9' || port > 65535) return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

// Opens the lifeline request and waits for its response headers.
intptr_t OpenLifeline(int port) {
  const SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (sock == INVALID_SOCKET) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const char request[] = "GET /control/lifeline HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  std::string received;
  if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(sock, request, sizeof request - 1, 0) == static_cast<int>(sizeof request - 1)) {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (received.find("\r\n\r\n") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      WSAPOLLFD waiting{sock, POLLRDNORM, 0};
      if (WSAPoll(&waiting, 1, 100) < 0) break;
      if (!(waiting.revents & (POLLRDNORM | POLLHUP | POLLERR))) continue;
      char buffer[512];
      const int count = recv(sock, buffer, sizeof buffer, 0);
      if (count <= 0) break;
      received.append(buffer, static_cast<size_t>(count));
    }
  }
  if (received.rfind("HTTP/1.1 200 ", 0) != 0 || received.find("\r\n\r\n") == std::string::npos) {
    closesocket(sock);
    return -1;
  }
  return static_cast<intptr_t>(sock);
}

}  // namespace

DevPlatform::DevPlatform() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;  // balanced in the destructor
  if (!CreateDirectories(root_dir())) return;
  const std::u16string program = DosPath(FERNLITE_DEVPLATFORM_PATH);
  const std::string log = UnixPath(log_path());
  const std::string root = UnixPath(root_dir());
  const std::string port_path = UnixPath(port_file());
  if (program.empty() || log.empty() || root.empty() || port_path.empty()) return;

  std::u16string command = u"\"" + program + u"\" --port 0 --log " + Quoted(log) + u" --root " +
                           Quoted(root) + u" --port-file " + Quoted(port_path) + u" --lifeline";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(W(program), const_cast<wchar_t*>(W(command)), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &info)) {
    return;
  }
  if (info.hThread) CloseHandle(info.hThread);
  if (info.hProcess) CloseHandle(info.hProcess);

  int port = 0;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (port == 0 && std::chrono::steady_clock::now() < deadline) {
    port = ReadPortFile(port_file());
    if (port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (port > 0) lifeline_ = OpenLifeline(port);
  // Only a server that holds our lifeline is sure to go away again.
  if (lifeline_ != -1) port_ = port;
}

DevPlatform::~DevPlatform() {
  if (lifeline_ != -1) {
    closesocket(static_cast<SOCKET>(lifeline_));
    // The server removes its port file last thing before it exits; wait for that so the log
    // is closed before the directory goes.
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (FileExists(port_file()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  WSACleanup();
}

}  // namespace fernlite::test
