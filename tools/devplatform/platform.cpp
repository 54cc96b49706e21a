#include "platform.h"

#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <ctime>

namespace fernlite::devplatform {
namespace {

// Per-thread: cpp-httplib runs routing and the post-routing step of one request on the same
// worker thread, so routes can hand their extra log fields to LogResponse this way.
struct PendingLogLine {
  std::vector<std::pair<std::string, std::string>> fields;
  bool written = false;
};
thread_local PendingLogLine pending;

// Length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length = 0;
  uint32_t min_value = 0;
  uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min_value = 0x80, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min_value = 0x800, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min_value = 0x10000, value = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < min_value || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
      ++i;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
      ++i;
    } else if (size_t length = byte >= 0x80 ? Utf8SequenceLength(text.substr(i)) : 0; length) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
      ++i;
    }
  }
  out += '"';
  return out;
}

std::string JsonStringObject(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out = "{";
  for (const auto& [key, value] : fields) {
    if (out.size() > 1) out += ',';
    out += JsonString(key);
    out += ':';
    out += JsonString(value);
  }
  out += '}';
  return out;
}

std::optional<CollectorMode> ParseCollectorMode(std::string_view text) {
  if (text == "normal") return CollectorMode::kNormal;
  if (text == "silent") return CollectorMode::kSilent;
  if (text == "trickle") return CollectorMode::kTrickle;
  if (text == "endless") return CollectorMode::kEndless;
  return std::nullopt;
}

RequestLog::~RequestLog() {
  if (file_) std::fclose(file_);
}

bool RequestLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void RequestLog::WriteLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

Platform::Platform(std::filesystem::path root, RequestLog& log)
    : root_(std::move(root)), log_(log) {}

void Platform::AddLogField(std::string key, std::string json_value) {
  pending.fields.emplace_back(std::move(key), std::move(json_value));
}

void Platform::BeginRequest() {
  pending = PendingLogLine();
}

void Platform::LogNow(const httplib::Request& request, int status) {
  Write(request, status);
  pending.written = true;
}

void Platform::LogResponse(const httplib::Request& request, int status) {
  if (!pending.written) Write(request, status);
  pending = PendingLogLine();
}

void Platform::Write(const httplib::Request& request, int status) {
  const std::string& target = request.target;
  const size_t question = target.find('?');
  const std::string path = target.substr(0, question);
  const std::string query = question == std::string::npos ? "" : target.substr(question + 1);
  std::string http = request.version;
  if (http.rfind("HTTP/", 0) == 0) http.erase(0, 5);

  std::string line = "{\"time\":" + std::to_string(static_cast<long long>(std::time(nullptr)));
  line += ",\"method\":" + JsonString(request.method);
  line += ",\"path\":" + JsonString(path);
  line += ",\"query\":" + JsonString(query);
  line += ",\"status\":" + std::to_string(status);
  line += ",\"ua\":" + JsonString(request.get_header_value("User-Agent"));
  line += ",\"http\":" + JsonString(http);
  for (const auto& [key, value] : pending.fields) {
    // Appended piece by piece: GCC 12 at -O3 mistakes "," + string for an overlapping copy.
    line.append(",").append(JsonString(key)).append(":").append(value);
  }
  line += '}';
  log_.WriteLine(line);
}

void Platform::RequestShutdown() {
  kill(getpid(), SIGTERM);
}

bool Platform::WaitForStop(std::chrono::milliseconds limit) {
  std::unique_lock lock(stop_mutex_);
  return stop_changed_.wait_for(lock, limit, [this] { return stopping_; });
}

bool Platform::stopping() {
  std::lock_guard lock(stop_mutex_);
  return stopping_;
}

void Platform::Stop() {
  {
    std::lock_guard lock(stop_mutex_);
    stopping_ = true;
  }
  stop_changed_.notify_all();
}

}  // namespace fernlite::devplatform
