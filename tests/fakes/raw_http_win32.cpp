#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

#include "fakes/raw_http.h"

namespace fernlite::test {

RawExchange SendRawHttp(int port, std::string_view request, int timeout_ms) {
  RawExchange exchange;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return exchange;
  const SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (sock == INVALID_SOCKET) {
    WSACleanup();
    return exchange;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    exchange.connected = true;
    size_t sent = 0;
    while (sent < request.size()) {
      const int count =
          send(sock, request.data() + sent, static_cast<int>(request.size() - sent), 0);
      if (count <= 0) break;
      sent += static_cast<size_t>(count);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      WSAPOLLFD waiting{sock, POLLRDNORM, 0};
      const int ready = WSAPoll(&waiting, 1, static_cast<INT>(left.count()));
      if (ready <= 0) break;
      char buffer[4096];
      const int count = recv(sock, buffer, sizeof buffer, 0);
      if (count <= 0) {
        exchange.closed = true;
        break;
      }
      exchange.bytes.append(buffer, static_cast<size_t>(count));
    }
  }
  closesocket(sock);
  WSACleanup();
  return exchange;
}

}  // namespace fernlite::test
