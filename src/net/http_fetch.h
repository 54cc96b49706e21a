// The one HTTP client: blocking GET requests whose bodies go to a file or are discarded.
// No proxy, no cache, no redirect following; at most 1024 bytes of a response are held at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// What a request may cost. `connect`: establishing the connection. `idle`: the longest
// silence while waiting for the answer or for more of the body (no byte at all for that long;
// a slow trickle is not silence). `cancel`, when given, ends the transfer (as a failure) soon
// after it becomes true, so a worker that is asked to stop does not sit in a slow download.
// `total`, when not zero, is the whole request's deadline: the call returns by then, whatever
// the server does. `max_bytes`, when not zero, is the largest body accepted: a longer one (or
// an announced length beyond it) fails, and no more than that is written.
struct FetchLimits {
  std::chrono::milliseconds connect;
  std::chrono::milliseconds idle;
  const std::atomic<bool>* cancel = nullptr;
  std::chrono::milliseconds total{0};
  std::uint64_t max_bytes = 0;
};

// A collector that accepts and never answers costs the reporting thread seconds, not minutes,
// and one that keeps talking is cut off at the deadline; their bodies are discarded.
inline constexpr FetchLimits kReportLimits{std::chrono::seconds(5), std::chrono::seconds(5),
                                           nullptr, std::chrono::seconds(10), 64 * 1024};
// Downloads on a slow line may pause for a while between packets; only silence ends them. Each
// kind of download brings its own size cap (upgrade.cpp).
inline constexpr FetchLimits kDownloadLimits{std::chrono::seconds(15), std::chrono::seconds(30)};

// GET `url` (absolute http:// or https://). With a file path the body replaces that file; a
// transfer that fails half-way leaves what was received. Without one the body is discarded.
// True when the status was 200-206 or 301-305 and the whole body arrived (and was written).
bool Fetch(std::u16string_view url, const std::u16string* file_path,
           const FetchLimits& limits = kDownloadLimits);
inline bool Fetch(std::u16string_view url, const std::u16string& file_path,
                  const FetchLimits& limits = kDownloadLimits) {
  return Fetch(url, &file_path, limits);
}

// Drops the url from the platform's URL cache, then fetches it without a file.
bool FetchUncached(std::u16string_view url, const FetchLimits& limits = kReportLimits);

// ---- Building blocks of both platform sides ----

// Transfer buffer: the most of a response the program holds at a time.
inline constexpr size_t kTransferBufferSize = 1024;

struct UrlParts {
  bool secure = false;  // https
  std::u16string host;
  std::uint16_t port = 0;  // the scheme's default when the url names none
  std::u16string object;   // path (at least "/") followed by everything from '?' or '#' on
};

// Splits an absolute http or https url. nullopt for another scheme, no host, a bad port, or
// user information (never sent by this client).
std::optional<UrlParts> SplitUrl(std::u16string_view url);

bool IsSuccessStatus(long status);

// Decimal value of a Content-Length header: its leading digits only (none gives 0); values
// beyond 64 bits saturate.
std::uint64_t ParseContentLength(std::string_view header_value);

// The length rules of the read loop.
class BodyProgress {
 public:
  BodyProgress() = default;
  explicit BodyProgress(std::optional<std::uint64_t> expected) : remaining_(expected) {}

  // How much to read next: min(remaining, 1024) when the length is known, else 1024.
  size_t NextReadSize() const;
  // Of `available` bytes just received, how many belong to the body.
  size_t Accept(size_t available);
  // The known length has been received in full (never true when the length is unknown).
  bool Done() const { return remaining_ && *remaining_ == 0; }
  // The loop ended: true unless a known length is still missing bytes.
  bool CompleteAtEnd() const { return !remaining_ || *remaining_ == 0; }

 private:
  std::optional<std::uint64_t> remaining_;
};

}  // namespace fernlite
