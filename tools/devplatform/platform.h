// Shared state of the development platform: the served file root, the request log and the
// shutdown signal that long-running routes wait on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace httplib {
struct Request;
}

namespace fernlite::devplatform {

// A JSON string literal (quotes included). Valid UTF-8 passes through; control characters
// and bytes that are not valid UTF-8 become \u00XX escapes, so any byte string survives.
std::string JsonString(std::string_view text);

// {"k":"v",...} in the given order; values are written as JSON strings.
std::string JsonStringObject(const std::vector<std::pair<std::string, std::string>>& fields);

// Appends one line per request to a file; safe to call from every server thread.
class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  bool Open(const std::string& path);
  void WriteLine(const std::string& line);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

// How the report collectors answer: "ok" at once, or like a collector that is stuck (accepts
// and never answers), starved (two bytes a second) or broken (a body without end).
enum class CollectorMode { kNormal, kSilent, kTrickle, kEndless };

// "normal", "silent", "trickle" or "endless".
std::optional<CollectorMode> ParseCollectorMode(std::string_view text);

class Platform {
 public:
  Platform(std::filesystem::path root, RequestLog& log);

  // Empty when no --root was given.
  const std::filesystem::path& root() const { return root_; }

  // Set before the server starts; read by every collector request.
  CollectorMode collector_mode() const { return collector_mode_; }
  void set_collector_mode(CollectorMode mode) { collector_mode_ = mode; }

  // Adds a field to the log line of the request the calling thread is handling. The value is
  // raw JSON (use JsonString for text).
  void AddLogField(std::string key, std::string json_value);

  // Writes the log line now, for routes that may hold the connection for a long time; the
  // line that LogResponse would write is then skipped.
  void LogNow(const httplib::Request& request, int status);

  // BeginRequest runs before routing; LogResponse once the status is final but before any
  // byte of the answer leaves, so a client that has its answer always finds the line.
  void BeginRequest();
  void LogResponse(const httplib::Request& request, int status);

  // Asks the whole server to stop, as SIGTERM does.
  void RequestShutdown();

  // Waits up to `limit`; true when the server is stopping.
  bool WaitForStop(std::chrono::milliseconds limit);
  bool stopping();
  void Stop();

 private:
  void Write(const httplib::Request& request, int status);

  std::filesystem::path root_;
  RequestLog& log_;
  CollectorMode collector_mode_ = CollectorMode::kNormal;
  std::mutex stop_mutex_;
  std::condition_variable stop_changed_;
  bool stopping_ = false;
};

}  // namespace fernlite::devplatform
