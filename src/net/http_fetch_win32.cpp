#include <windows.h>
#include <wininet.h>

#include "net/http_fetch.h"
#include "net/user_agent.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

// Reload, no cache write, keep connection.
constexpr DWORD kRequestFlags = 0x84400000;
static_assert(kRequestFlags == (INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION));

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_) InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  explicit operator bool() const { return handle_ != nullptr; }
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool Create(const std::u16string& path) {
    handle_ = CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle_ != INVALID_HANDLE_VALUE;
  }
  bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Write(const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(handle_, data, size, &written, nullptr) && written == size;
  }
  bool Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const bool ok = CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

void SetTimeouts(HINTERNET handle, const FetchTimeouts& timeouts) {
  DWORD connect = static_cast<DWORD>(timeouts.connect.count());
  DWORD idle = static_cast<DWORD>(timeouts.idle.count());
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

}  // namespace

bool Fetch(std::u16string_view url, const std::u16string* file_path,
           const FetchTimeouts& timeouts) {
  const auto parts = SplitUrl(url);
  if (!parts) return false;
  const std::u16string user_agent = GetUserAgentText();

  InternetHandle session(
      InternetOpenW(W(user_agent), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) return false;
  SetTimeouts(session.get(), timeouts);

  InternetHandle connection(InternetConnectW(session.get(), W(parts->host), parts->port, L"", L"",
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return false;

  // Redirects are answers in their own right (301-305 count as success), never followed.
  DWORD flags = kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (parts->secure) flags |= INTERNET_FLAG_SECURE;
  const wchar_t* accept_types[] = {L"*/*", nullptr};
  InternetHandle request(HttpOpenRequestW(connection.get(), L"GET", W(parts->object), L"HTTP/1.0",
                                          nullptr, accept_types, flags, 0));
  if (!request) return false;
  SetTimeouts(request.get(), timeouts);

  if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return false;

  DWORD status = 0;
  DWORD status_size = sizeof status;
  if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &status_size, nullptr) ||
      !IsSuccessStatus(static_cast<long>(status))) {
    return false;
  }

  BodyProgress progress(ContentLength(request.get()));

  FileHandle file;
  if (file_path && !file.Create(*file_path)) return false;

  char buffer[kTransferBufferSize];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), buffer, static_cast<DWORD>(progress.NextReadSize()),
                          &read)) {
      return false;  // a partly written file stays
    }
    if (read == 0) break;
    if (timeouts.cancel && timeouts.cancel->load()) return false;
    const size_t taken = progress.Accept(read);
    if (file.open() && !file.Write(buffer, static_cast<DWORD>(taken))) return false;
    if (progress.Done()) break;
  }
  if (!progress.CompleteAtEnd()) return false;
  return file.Close();
}

bool FetchUncached(std::u16string_view url, const FetchTimeouts& timeouts) {
  const std::u16string text(url);
  DeleteUrlCacheEntryW(W(text));
  return Fetch(url, nullptr, timeouts);
}

}  // namespace fernlite
