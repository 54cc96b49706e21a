// A second listener of the development platform that breaks HTTP on purpose, for the client's
// limits: answers that never end, never start, trickle, lie about their length or are not
// HTTP at all. Raw sockets, because a well-behaved server library cannot misbehave like this.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace fernlite::devplatform {

class HostileServer {
 public:
  HostileServer() = default;
  ~HostileServer() { Stop(); }
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  // Listens on 127.0.0.1 on a free port; the port, or 0 when it could not.
  int Start();
  // Closes the listener and every connection, and waits for their threads.
  void Stop();

 private:
  void Accept();
  void Serve(int connection);

  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<int> connections_;
};

}  // namespace fernlite::devplatform
