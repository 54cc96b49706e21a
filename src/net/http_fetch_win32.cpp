#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "net/http_fetch.h"
#include "net/http_fetch_platform.h"
#include "net/user_agent.h"
#include "platform/handles_win32.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

// Reload, no cache write, keep connection.
constexpr DWORD kRequestFlags = 0x84400000;
static_assert(kRequestFlags == (INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION));

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return InternetCloseHandle(handle) != FALSE; }
};
using UniqueInternet = UniqueHandle<InternetHandleTraits>;

void SetTimeouts(HINTERNET handle, const FetchLimits& limits) {
  DWORD connect = static_cast<DWORD>(limits.connect.count());
  DWORD idle = static_cast<DWORD>(limits.idle.count());
  InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &idle, sizeof idle);
  // Applies to each receive, so only silence counts, never the length of the whole transfer.
  InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &idle, sizeof idle);
}

std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  wchar_t buffer[64];
  DWORD size = sizeof buffer;
  if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, buffer, &size, nullptr)) {
    return std::nullopt;
  }
  const std::u16string text = FromWide(buffer, size / sizeof(wchar_t));
  return ParseContentLength(U16ToAscii(text));
}

// The request's answer into the file; the handles belong to the caller. `head_arrived` is
// raised once the answer's head is in.
bool Exchange(HINTERNET request, const std::u16string* file_path, const FetchLimits& limits,
              std::atomic<bool>& head_arrived) {
  const auto cancelled = [&] { return limits.cancel && limits.cancel->load(); };
  if (cancelled() || !HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return false;
  head_arrived = true;

  DWORD status = 0;
  DWORD status_size = sizeof status;
  if (cancelled() ||
      !HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &status_size, nullptr) ||
      !IsSuccessStatus(static_cast<long>(status))) {
    return false;
  }

  if (cancelled()) return false;
  const std::optional<std::uint64_t> length = ContentLength(request);
  // Announced beyond what is accepted: not a byte is written.
  if (limits.max_bytes && length && *length > limits.max_bytes) return false;
  BodyProgress progress(length);
  std::uint64_t received = 0;

  UniqueFile file;
  if (file_path) {
    file.reset(CreateFileW(W(*file_path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
  }

  char buffer[kTransferBufferSize];
  for (;;) {
    DWORD read = 0;
    if (cancelled()) return false;
    if (!InternetReadFile(request, buffer, static_cast<DWORD>(progress.NextReadSize()), &read)) {
      return false;  // a partly written file stays
    }
    if (read == 0) break;
    if (cancelled()) return false;  // nothing more is written once the caller has let go
    const size_t taken = progress.Accept(read);
    received += taken;
    if (limits.max_bytes && received > limits.max_bytes) return false;  // longer than accepted
    DWORD written = 0;
    if (file && (!WriteFile(file.get(), buffer, static_cast<DWORD>(taken), &written, nullptr) ||
                 written != taken)) {
      return false;
    }
    if (progress.Done()) break;
  }
  if (!progress.CompleteAtEnd()) return false;
  return file.reset();
}

// The whole exchange on the calling thread; `limits.cancel` is checked between calls.
bool Transfer(const UrlParts& url, const std::u16string* file_path, const FetchLimits& limits,
              std::atomic<bool>& head_arrived) {
  const std::u16string user_agent = GetUserAgentText();
  UniqueInternet session(
      InternetOpenW(W(user_agent), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) return false;
  SetTimeouts(session.get(), limits);

  UniqueInternet connection(InternetConnectW(session.get(), W(url.host), url.port, L"", L"",
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return false;
  // Redirects are answers in their own right (301-305 count as success), never followed.
  DWORD flags = kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (url.secure) flags |= INTERNET_FLAG_SECURE;
  const wchar_t* accept_types[] = {L"*/*", nullptr};
  UniqueInternet request(HttpOpenRequestW(connection.get(), L"GET", W(url.object), L"HTTP/1.0",
                                          nullptr, accept_types, flags, 0));
  if (!request) return false;
  SetTimeouts(request.get(), limits);
  return Exchange(request.get(), file_path, limits, head_arrived);
}

// A transfer on a thread of its own, which the caller may stop waiting for.
struct Job {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  bool ok = false;
  // Raised when the caller gave up: the transfer writes nothing more and ends as soon as
  // WinINet lets it.
  std::atomic<bool> abandoned{false};
  // Raised by the transfer once the answer's head is in; until then the caller keeps the
  // head's own deadline.
  std::atomic<bool> head_arrived{false};
};

// WinINet's blocking calls cannot be told to stop (a call waiting for an answer that never
// comes sits out its whole timeout), and its per-receive timeout lets a head that trickles in
// a byte at a time go on for ever. Every transfer therefore runs on its own thread; the caller
// returns at once on cancel, at the deadline, or when the head is not in within the connect
// and idle limits (a slow head counts as silence, as on Linux, where only body bytes move the
// idle clock), and the thread finishes by itself, touching nothing of the caller's.
bool Get(const UrlParts& url, const std::u16string* file_path, const FetchLimits& limits) {
  const bool deadline = limits.total.count() > 0;
  if (limits.cancel && limits.cancel->load()) return false;
  const auto start = std::chrono::steady_clock::now();
  const auto give_up_at = start + limits.total;
  const auto head_due = start + limits.connect + limits.idle;
  auto job = std::make_shared<Job>();
  std::optional<std::u16string> path;
  if (file_path) path = *file_path;
  try {
    std::thread([job, url, path, limits] {
      FetchLimits own = limits;
      own.cancel = &job->abandoned;
      const bool ok = Transfer(url, path ? &*path : nullptr, own, job->head_arrived);
      std::lock_guard lock(job->mutex);
      job->done = true;
      job->ok = ok;
      job->ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  std::unique_lock lock(job->mutex);
  while (!job->done) {
    const auto now = std::chrono::steady_clock::now();
    if ((limits.cancel && limits.cancel->load()) || (deadline && now >= give_up_at) ||
        (!job->head_arrived && now >= head_due)) {
      job->abandoned = true;
      return false;
    }
    job->ended.wait_for(lock, std::chrono::milliseconds(50));
  }
  return job->ok;
}

void ForgetCached(const std::u16string& url) {
  DeleteUrlCacheEntryW(W(url));
}

}  // namespace

const HttpPlatform& NativeHttpPlatform() {
  static const HttpPlatform& table = *new HttpPlatform{&Get, &ForgetCached};
  return table;
}

}  // namespace fernlite
