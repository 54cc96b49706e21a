// Static files under --root, for downloads and pages the tests put in place.
#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "platform.h"
#include "routes.h"

namespace fernlite::devplatform {
namespace {

// Every segment must be a plain name: no "..", no empty or "." segments, no backslashes or
// NUL bytes that another layer might read differently.
bool IsSafeRelativePath(const std::string& path) {
  if (path.empty() || path.find('\\') != std::string::npos ||
      path.find('\0') != std::string::npos) {
    return false;
  }
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    const std::string segment =
        path.substr(start, slash == std::string::npos ? slash : slash - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

std::string ContentType(const std::filesystem::path& path) {
  const std::string extension = path.extension().string();
  if (extension == ".html" || extension == ".htm") return "text/html; charset=utf-8";
  if (extension == ".xml") return "text/xml";
  if (extension == ".txt") return "text/plain";
  if (extension == ".png") return "image/png";
  if (extension == ".js") return "application/javascript";
  return "application/octet-stream";
}

}  // namespace

void RegisterFileRoutes(httplib::Server& server, Platform& platform) {
  server.Get(
      R"(/files/(.*))", [&platform](const httplib::Request& request, httplib::Response& response) {
        const std::string relative = request.matches[1];
        if (!IsSafeRelativePath(relative)) {
          response.status = 403;
          response.set_content("refused", "text/plain");
          return;
        }
        std::error_code error;
        const std::filesystem::path file = platform.root() / relative;
        if (platform.root().empty() || !std::filesystem::is_regular_file(file, error)) {
          response.status = 404;
          response.set_content("not found", "text/plain");
          return;
        }
        const auto size = std::filesystem::file_size(file, error);
        auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
        if (error || !*in) {
          response.status = 500;
          response.set_content("read error", "text/plain");
          return;
        }
        // Streamed in blocks: large downloads (the fetch benchmark's 64 MiB) must not be limited
        // by the server reading the whole file first.
        response.set_content_provider(static_cast<size_t>(size), ContentType(file),
                                      [in](size_t offset, size_t length, httplib::DataSink& sink) {
                                        char block[65536];
                                        in->seekg(static_cast<std::streamoff>(offset));
                                        const size_t want = std::min(length, sizeof block);
                                        in->read(block, static_cast<std::streamsize>(want));
                                        const auto got = static_cast<size_t>(in->gcount());
                                        if (got == 0) return false;
                                        sink.write(block, got);
                                        return true;
                                      });
      });
}

}  // namespace fernlite::devplatform
