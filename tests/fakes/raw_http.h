// Plain loopback sockets for tests that need to see or send exact HTTP bytes.
#pragma once

#include <string>
#include <string_view>

namespace fernlite::test {

struct RawExchange {
  bool connected = false;
  bool closed = false;  // the server closed the connection (else the wait ran out)
  std::string bytes;    // everything received
};

// Connects to 127.0.0.1:port, sends the bytes and reads until the server closes the
// connection or `timeout_ms` has passed.
RawExchange SendRawHttp(int port, std::string_view request, int timeout_ms = 5000);

struct RawResponse {
  int status = 0;       // 0 when no status line arrived
  std::string headers;  // header block, lines ending in CR LF
  std::string body;     // everything after the blank line
};

RawResponse ParseRawResponse(const std::string& bytes);

// True when the header block has the header (name compared without case); its value, with
// leading blanks removed, goes to `value` when given.
bool FindHeader(const std::string& headers, std::string_view name, std::string* value = nullptr);

}  // namespace fernlite::test
