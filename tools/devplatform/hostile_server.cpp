#include "hostile_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace fernlite::devplatform {
namespace {

using std::chrono::milliseconds;

// Whole or nothing; false once the peer is gone or the server stops.
bool Send(int connection, std::string_view bytes, const std::atomic<bool>& stopping) {
  while (!bytes.empty() && !stopping) {
    const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return !stopping;
}

// Waits out a pause; false when the server stops or the peer hung up meanwhile.
bool Pause(int connection, milliseconds pause, const std::atomic<bool>& stopping) {
  const auto until = std::chrono::steady_clock::now() + pause;
  while (!stopping && std::chrono::steady_clock::now() < until) {
    pollfd peer{connection, POLLIN | POLLRDHUP, 0};
    if (::poll(&peer, 1, 20) > 0) {
      char byte;
      if ((peer.revents & (POLLHUP | POLLRDHUP | POLLERR)) ||
          ::recv(connection, &byte, 1, MSG_DONTWAIT) == 0) {
        return false;
      }
    }
  }
  return !stopping;
}

// The request's path, from a head read for at most two seconds and 8 KiB.
std::string RequestPath(int connection) {
  std::string head;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 8192 &&
         std::chrono::steady_clock::now() < until) {
    pollfd peer{connection, POLLIN, 0};
    if (::poll(&peer, 1, 50) <= 0) continue;
    char buffer[1024];
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    head.append(buffer, static_cast<size_t>(got));
  }
  const size_t start = head.find(' ');
  if (start == std::string::npos) return {};
  const size_t end = head.find(' ', start + 1);
  return head.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

}  // namespace

int HostileServer::Start() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    listener_ = -1;
    return 0;
  }
  acceptor_ = std::thread([this] { Accept(); });
  return ntohs(address.sin_port);
}

void HostileServer::Stop() {
  if (listener_ < 0) return;
  stopping_ = true;
  ::shutdown(listener_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    for (const int connection : connections_) ::shutdown(connection, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (std::thread& worker : workers) worker.join();
  ::close(listener_);
  listener_ = -1;
}

void HostileServer::Accept() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 100) <= 0) continue;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.push_back(connection);
    workers_.emplace_back([this, connection] { Serve(connection); });
  }
}

void HostileServer::Serve(int connection) {
  const std::string path = RequestPath(connection);
  const std::string chunk(16 * 1024, 'x');
  const auto& stop = stopping_;
  if (path == "/endless" || path == "/endless-length") {
    // As fast as the client takes it, for as long as it takes it.
    const std::string head = path == "/endless"
                                 ? "HTTP/1.0 200 OK\r\n\r\n"
                                 : "HTTP/1.0 200 OK\r\nContent-Length: 99999999999999\r\n\r\n";
    if (Send(connection, head, stop)) {
      while (Send(connection, chunk, stop)) {
      }
    }
  } else if (path == "/slow-head") {
    // The status line, two bytes a second, forever.
    const std::string line = "HTTP/1.0 200 OK, eventually, perhaps, some day ";
    for (size_t i = 0; Pause(connection, milliseconds(500), stop); i = (i + 1) % line.size()) {
      if (!Send(connection, line.substr(i, 1), stop)) break;
    }
  } else if (path == "/slow-body") {
    if (Send(connection, "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", stop)) {
      while (Pause(connection, milliseconds(500), stop) && Send(connection, "x", stop)) {
      }
    }
  } else if (path == "/silent") {
    while (Pause(connection, milliseconds(200), stop)) {
    }
  } else if (path == "/early-close") {
    Send(connection, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789", stop);
  } else if (path == "/garbage-status") {
    Send(connection, "HTXP/9.9 abc nonsense\r\n\r\nwhatever follows", stop);
  } else if (path == "/huge-headers") {
    if (Send(connection, "HTTP/1.0 200 OK\r\n", stop)) {
      const std::string header = "X-Padding: " + std::string(1000, 'h') + "\r\n";
      while (Send(connection, header, stop)) {
      }
    }
  } else {
    Send(connection, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", stop);
  }
  ::shutdown(connection, SHUT_RDWR);
  std::lock_guard lock(mutex_);
  std::erase(connections_, connection);
  ::close(connection);
}

}  // namespace fernlite::devplatform
