#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "fakes/raw_http.h"

namespace fernlite::test {

RawExchange SendRawHttp(int port, std::string_view request, int timeout_ms) {
  RawExchange exchange;
  const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return exchange;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(sock);
    return exchange;
  }
  exchange.connected = true;
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t count = send(sock, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) break;
    sent += static_cast<size_t>(count);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd waiting{sock, POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[4096];
    const ssize_t count = recv(sock, buffer, sizeof buffer, 0);
    if (count <= 0) {
      exchange.closed = true;
      break;
    }
    exchange.bytes.append(buffer, static_cast<size_t>(count));
  }
  close(sock);
  return exchange;
}

}  // namespace fernlite::test
