#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/http_fetch.h"
#include "net/http_fetch_platform.h"
#include "net/user_agent.h"
#include "platform/posix_io_linux.h"
#include "platform/text.h"

namespace fernlite {
namespace {

bool EnsureCurlInitialised() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

// One transfer's state, shared by the header and body callbacks.
struct Transfer {
  CURL* curl = nullptr;
  const std::u16string* file_path = nullptr;
  int fd = -1;
  long status = 0;
  bool headers_done = false;
  std::optional<std::uint64_t> content_length;
  BodyProgress progress;
  bool failed = false;            // status, file creation or write failure
  bool stopped_complete = false;  // we ended a transfer whose known length had arrived
  const FetchLimits* limits = nullptr;
  std::uint64_t received = 0;
  // The idle clock: when bytes last moved in either direction (or the connection was still
  // being made, which has its own limit).
  curl_off_t last_down = 0, last_up = 0;
  std::chrono::steady_clock::time_point last_moved = std::chrono::steady_clock::now();
};

bool StartsWithHeader(std::string_view line, std::string_view name) {
  if (line.size() < name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != name[i]) return false;
  }
  return true;
}

// Returning anything but `size * count` makes curl abort the transfer.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const size_t total = size * count;
  const std::string_view line(data, total);

  if (StartsWithHeader(line, "http/")) {
    // A new response head (after an interim 1xx one): start over.
    t.headers_done = false;
    t.content_length.reset();
    return total;
  }
  if (StartsWithHeader(line, "content-length:")) {
    if (!t.content_length) t.content_length = ParseContentLength(line.substr(15));
    return total;
  }
  if (line != "\r\n" && line != "\n") return total;

  long status = 0;
  curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
  if (status >= 100 && status < 200) return total;  // interim answer; the real one follows
  t.status = status;
  t.headers_done = true;
  // A failing status ends the request before any of its body is read or any file touched.
  if (!IsSuccessStatus(status)) {
    t.failed = true;
    return 0;
  }
  if (t.limits->max_bytes && t.content_length && *t.content_length > t.limits->max_bytes) {
    t.failed = true;  // announced beyond what is accepted: not a byte is written
    return 0;
  }
  t.progress = BodyProgress(t.content_length);
  if (t.file_path) {
    t.fd = ::open(ToUtf8(*t.file_path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (t.fd < 0) {
      t.failed = true;
      return 0;
    }
  }
  return total;
}

// curl hands over whatever it received (up to its own 16 KiB receive buffer); the bytes go
// straight to the file, so the program itself keeps none of them.
// Non-zero aborts the transfer: the caller let go, or nothing moved for the idle limit (the
// same rule as the Windows client's per-receive timeout: a slow trickle is not silence).
int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto& t = *static_cast<Transfer*>(user);
  if (t.limits->cancel && t.limits->cancel->load()) return 1;
  const auto now = std::chrono::steady_clock::now();
  curl_off_t connected = 0;
  curl_easy_getinfo(t.curl, CURLINFO_CONNECT_TIME_T, &connected);
  if (connected == 0 || down != t.last_down || up != t.last_up) {
    t.last_down = down;
    t.last_up = up;
    t.last_moved = now;
    return 0;
  }
  return now - t.last_moved > t.limits->idle ? 1 : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const size_t total = size * count;
  if (!t.headers_done || t.failed) return 0;
  const size_t taken = t.progress.Accept(total);
  t.received += taken;
  if (t.limits->max_bytes && t.received > t.limits->max_bytes) {
    t.failed = true;  // longer than accepted: what is beyond the cap is never written
    return 0;
  }
  if (t.fd >= 0 && !WriteAllFd(t.fd, std::string_view(data, taken))) {
    t.failed = true;
    return 0;
  }
  if (taken < total) {
    // Bytes beyond the announced length are not part of the body.
    t.stopped_complete = true;
    return 0;
  }
  return total;
}

bool Get(const UrlParts& url, const std::u16string* file_path, const FetchLimits& limits) {
  if (!EnsureCurlInitialised()) return false;
  const UrlParts* parts = &url;

  if (limits.cancel && limits.cancel->load()) return false;
  Transfer t;
  t.file_path = file_path;
  t.limits = &limits;
  t.curl = curl_easy_init();
  if (!t.curl) return false;

  // curl gets scheme, host and port; the request line carries the object exactly as given
  // (query and fragment included), as the Windows client sends it.
  std::string host = ToUtf8(parts->host);
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  const std::string origin = std::string(parts->secure ? "https://" : "http://") + host + ":" +
                             std::to_string(parts->port) + "/";
  const std::string object = ToUtf8(parts->object);
  const std::string user_agent = ToUtf8(GetUserAgentText());

  CURL* curl = t.curl;
  curl_easy_setopt(curl, CURLOPT_URL, origin.c_str());
  curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, object.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, user_agent.c_str());
  // A direct connection whatever the environment's proxy variables say.
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  if (limits.total.count() > 0) {
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
  }
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);

  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);

  bool ok = (result == CURLE_OK || (result == CURLE_WRITE_ERROR && t.stopped_complete)) &&
            !t.failed && t.headers_done && IsSuccessStatus(t.status) && t.progress.CompleteAtEnd();
  // A partly written file stays where it is.
  if (t.fd >= 0 && ::close(t.fd) != 0) ok = false;
  return ok;
}

}  // namespace

const HttpPlatform& NativeHttpPlatform() {
  // No URL cache exists on this side.
  static const HttpPlatform& table = *new HttpPlatform{&Get, [](const std::u16string&) {}};
  return table;
}

}  // namespace fernlite
