// Routes that make the HTTP client meet the awkward answers a real server can give.
#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <optional>

#include "platform.h"
#include "routes.h"

namespace fernlite::devplatform {
namespace {

constexpr size_t kMaxBytes = size_t{1} << 30;
constexpr size_t kPieceSize = 64 * 1024;
constexpr auto kHangLimit = std::chrono::seconds(120);
constexpr long kMaxIntervalMs = 10000;

std::optional<size_t> ParseCount(const std::string& text, size_t max) {
  size_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || ptr != end || value > max) return std::nullopt;
  return value;
}

// Byte i of every generated body is i % 251, so a reader can tell where a piece came from.
std::string Pattern(size_t offset, size_t count) {
  std::string piece(count, '\0');
  for (size_t i = 0; i < count; ++i) piece[i] = static_cast<char>((offset + i) % 251);
  return piece;
}

void BadRequest(httplib::Response& response, const std::string& what) {
  response.status = 400;
  response.set_content(what, "text/plain");
}

}  // namespace

void RegisterTestRoutes(httplib::Server& server, Platform& platform) {
  server.Get(R"(/test/status/(\d+))",
             [](const httplib::Request& request, httplib::Response& response) {
               const std::optional<size_t> code = ParseCount(request.matches[1], 599);
               if (!code || *code < 200) return BadRequest(response, "status must be 200 to 599");
               response.status = static_cast<int>(*code);
               if (*code >= 300 && *code < 400) {
                 const std::string location = request.get_param_value("location");
                 response.set_header("Location", location.empty() ? "/test/bytes/10" : location);
               }
               // These two may not carry a body.
               if (*code != 204 && *code != 304) {
                 response.set_content("status " + std::to_string(*code), "text/plain");
               }
             });

  server.Get(R"(/test/bytes/(\d+))", [&platform](const httplib::Request& request,
                                                 httplib::Response& response) {
    const std::optional<size_t> size = ParseCount(request.matches[1], kMaxBytes);
    if (!size) return BadRequest(response, "size out of range");
    const size_t total = *size;

    if (request.get_param_value("nolength") == "1") {
      platform.AddLogField("sent", std::to_string(total));
      response.set_header("Connection", "close");
      // Failing the provider after the last byte makes the server close the connection,
      // which is the only end marker such a body has.
      response.set_content_provider(
          "application/octet-stream", [total](size_t offset, httplib::DataSink& sink) {
            if (offset >= total) return false;
            const std::string piece = Pattern(offset, std::min(kPieceSize, total - offset));
            return sink.write(piece.data(), piece.size());
          });
      return;
    }

    size_t advertised = total;
    if (request.has_param("length")) {
      const std::optional<size_t> length = ParseCount(request.get_param_value("length"), kMaxBytes);
      if (!length) return BadRequest(response, "length out of range");
      advertised = *length;
    }
    const size_t sent = std::min(total, advertised);
    platform.AddLogField("advertised", std::to_string(advertised));
    platform.AddLogField("sent", std::to_string(sent));
    if (advertised == 0) {
      response.set_content("", "application/octet-stream");
      return;
    }
    if (sent < advertised) response.set_header("Connection", "close");
    response.set_content_provider(
        advertised, "application/octet-stream",
        [sent](size_t offset, size_t length, httplib::DataSink& sink) {
          // Past the bytes to send: give up, and the server drops the connection short.
          if (offset >= sent) return false;
          const std::string piece = Pattern(offset, std::min({kPieceSize, length, sent - offset}));
          return sink.write(piece.data(), piece.size());
        });
  });

  server.Get("/test/hang",
             [&platform](const httplib::Request& request, httplib::Response& response) {
               // Logged on arrival: the answer may never come.
               platform.AddLogField("held", "true");
               platform.LogNow(request, 0);
               platform.WaitForStop(kHangLimit);
               response.status = 503;
               response.set_header("Connection", "close");
               response.set_content("hang ended", "text/plain");
             });

  server.Get(R"(/test/trickle/(\d+))", [&platform](const httplib::Request& request,
                                                   httplib::Response& response) {
    const std::optional<size_t> size = ParseCount(request.matches[1], kMaxBytes);
    const std::optional<size_t> chunk =
        request.has_param("chunk") ? ParseCount(request.get_param_value("chunk"), kMaxBytes)
                                   : std::optional<size_t>(64);
    const std::optional<size_t> interval =
        request.has_param("interval_ms")
            ? ParseCount(request.get_param_value("interval_ms"), kMaxIntervalMs)
            : std::optional<size_t>(100);
    if (!size || !chunk || *chunk == 0 || !interval) {
      return BadRequest(response, "bad size, chunk or interval_ms");
    }
    if (*size == 0) {
      response.set_content("", "application/octet-stream");
      return;
    }
    const size_t piece_size = *chunk;
    const auto pause = std::chrono::milliseconds(*interval);
    response.set_content_provider(
        *size, "application/octet-stream",
        [&platform, piece_size, pause](size_t offset, size_t length, httplib::DataSink& sink) {
          if (offset > 0 && platform.WaitForStop(pause)) return false;
          const std::string piece = Pattern(offset, std::min(piece_size, length));
          return sink.write(piece.data(), piece.size());
        });
  });

  server.Get("/test/ua", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.get_header_value("User-Agent"), "text/plain");
  });
}

}  // namespace fernlite::devplatform
