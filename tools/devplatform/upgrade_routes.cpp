// The upgrade description and the new executables it points at.
//   /game/wd/<gid>.xml   <root>/upgrade/<gid>.xml when present, else built from the
//                        FERNLITE_DEV_UPGRADE_* variables (VERSION, URL, SIGNATURE, LENGTH,
//                        REGIONMIN, REGIONMAX); 404 when neither exists.
//   /download/<name>     <root>/upgrade/<name> (executables and their ".p7s" signatures)
//   /download/slow/<name> the same file one byte every 200 ms, for interrupted downloads
#include <httplib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform.h"
#include "routes.h"

namespace fernlite::devplatform {
namespace {

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\", 0) == std::string::npos && name.find('\0') == std::string::npos;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return std::nullopt;
  return bytes;
}

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<std::string> DescriptionFromEnvironment(const std::string& gid) {
  if (!std::getenv("FERNLITE_DEV_UPGRADE_VERSION")) return std::nullopt;
  auto element = [](const char* name, const std::string& value) {
    // Appended piece by piece: GCC 12 at -O3 mistakes "<" + string for an overlapping copy.
    std::string text = "<";
    text.append(name).append(">").append(XmlEscape(value)).append("</").append(name).append(">");
    return text;
  };
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Response>" + element("State", "1") +
         element("Message", "ok") + "<Result>" + element("gid", gid) +
         element("distversion", Env("FERNLITE_DEV_UPGRADE_VERSION", "")) +
         element("url", Env("FERNLITE_DEV_UPGRADE_URL", "")) +
         element("signature", Env("FERNLITE_DEV_UPGRADE_SIGNATURE", "")) +
         element("fileLength", Env("FERNLITE_DEV_UPGRADE_LENGTH", "0")) +
         element("regionmin", Env("FERNLITE_DEV_UPGRADE_REGIONMIN", "0")) +
         element("regionmax", Env("FERNLITE_DEV_UPGRADE_REGIONMAX", "10000")) +
         "</Result></Response>\n";
}

void NotFound(httplib::Response& response) {
  response.status = 404;
  response.set_content("not found", "text/plain");
}

}  // namespace

void RegisterUpgradeRoutes(httplib::Server& server, Platform& platform) {
  server.Get(R"(/game/wd/([^/]+)\.xml)",
             [&platform](const httplib::Request& request, httplib::Response& response) {
               const std::string gid = request.matches[1];
               if (!IsPlainName(gid)) return NotFound(response);
               std::optional<std::string> body;
               if (!platform.root().empty())
                 body = ReadFile(platform.root() / "upgrade" / (gid + ".xml"));
               if (!body) body = DescriptionFromEnvironment(gid);
               if (!body) return NotFound(response);
               response.set_content(*body, "text/xml");
             });

  server.Get(R"(/download/(slow/)?([^/]+))", [&platform](const httplib::Request& request,
                                                         httplib::Response& response) {
    const bool slow = request.matches[1].length() > 0;
    const std::string name = request.matches[2];
    if (!IsPlainName(name) || platform.root().empty()) return NotFound(response);
    std::optional<std::string> body = ReadFile(platform.root() / "upgrade" / name);
    if (!body) return NotFound(response);
    if (!slow) {
      response.set_content(*body, "application/octet-stream");
      return;
    }
    platform.LogNow(request, 200);
    const size_t length = body->size();
    response.set_content_provider(
        length, "application/octet-stream",
        [&platform, bytes = std::move(*body)](size_t offset, size_t, httplib::DataSink& sink) {
          if (platform.WaitForStop(std::chrono::milliseconds(200))) return false;
          return sink.write(bytes.data() + offset, 1);
        });
  });
}

}  // namespace fernlite::devplatform
