// Starts the development platform server (tools/devplatform) on a free loopback port for one
// test and stops it afterwards. Every request it receives becomes one JSON line of its log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fakes/test_env.h"

namespace fernlite::test {

class DevPlatform {
 public:
  // Starts the server with a fresh log and an empty directory served under /files/.
  DevPlatform();
  // Stops the server and waits for it to end.
  ~DevPlatform();
  DevPlatform(const DevPlatform&) = delete;
  DevPlatform& operator=(const DevPlatform&) = delete;

  // True when the server is up and its port is known.
  bool ok() const { return port_ > 0; }
  // "http://127.0.0.1:PORT"
  std::u16string base_url() const;
  int port() const { return port_; }
  // The directory served under /files/.
  std::u16string root_dir() const { return dir_.Join(u"root"); }
  // The complete lines of the log so far, oldest first. A request's line is written before
  // its answer is sent, so it is there once the client has seen any part of the answer.
  std::vector<std::string> LogLines() const;

 private:
  std::u16string log_path() const { return dir_.Join(u"requests.jsonl"); }
  std::u16string port_file() const { return dir_.Join(u"port"); }

  TempDir dir_;
  int port_ = 0;
  intptr_t process_ = -1;  // Linux: the server's pid
  // What ties the server's life to ours. Linux: our end of its standard input; Windows (under
  // Wine): the socket of the open /control/lifeline request.
  intptr_t lifeline_ = -1;
};

// The port number in the server's first output line, 0 when the line is not that line.
int ParseListeningLine(const std::string& line);

}  // namespace fernlite::test
