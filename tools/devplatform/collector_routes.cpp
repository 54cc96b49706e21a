// The two event report collectors. Both answer "ok" whatever arrives, or misbehave the way
// --collectors asks; what they understood is in the request log.
#include <httplib.h>

#include <chrono>
#include <string>

#include "platform.h"
#include "report_layout.h"
#include "routes.h"

namespace fernlite::devplatform {
namespace {

std::string RawQuery(const httplib::Request& request) {
  const size_t question = request.target.find('?');
  return question == std::string::npos ? "" : request.target.substr(question + 1);
}

void LogVerdict(Platform& platform, const QueryFields& fields, const std::string& problem) {
  platform.AddLogField("fields", JsonStringObject(fields));
  platform.AddLogField("valid", problem.empty() ? "true" : "false");
  if (!problem.empty()) platform.AddLogField("error", JsonString(problem));
}

constexpr auto kHoldLimit = std::chrono::seconds(120);
// Long enough that a starved answer never ends while anyone waits for it.
constexpr size_t kTrickleBytes = 4096;
constexpr auto kTricklePause = std::chrono::seconds(1);
constexpr size_t kEndlessPiece = 64 * 1024;

void Answer(Platform& platform, const httplib::Request& request, httplib::Response& response) {
  switch (platform.collector_mode()) {
    case CollectorMode::kNormal: response.set_content("ok", "text/plain"); return;
    case CollectorMode::kSilent:
      // Logged on arrival: the answer only comes when the server stops.
      platform.AddLogField("held", "true");
      platform.LogNow(request, 0);
      platform.WaitForStop(kHoldLimit);
      response.status = 503;
      response.set_header("Connection", "close");
      response.set_content("held", "text/plain");
      return;
    case CollectorMode::kTrickle:
      platform.AddLogField("trickle", "true");
      response.set_content_provider(kTrickleBytes, "text/plain",
                                    [&platform](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset > 0 && platform.WaitForStop(kTricklePause))
                                        return false;
                                      return sink.write("ok", 2);
                                    });
      return;
    case CollectorMode::kEndless:
      platform.AddLogField("endless", "true");
      response.set_chunked_content_provider(
          "text/plain", [&platform](size_t, httplib::DataSink& sink) {
            static const std::string piece(kEndlessPiece, 'o');
            // A client that hangs up fails the write and ends the body.
            return !platform.stopping() && sink.write(piece.data(), piece.size());
          });
      return;
  }
}

}  // namespace

void RegisterCollectorRoutes(httplib::Server& server, Platform& platform) {
  server.Get("/jk/1.html",
             [&platform](const httplib::Request& request, httplib::Response& response) {
               platform.AddLogField("collector", JsonString("jk"));
               const std::optional<std::string> scrambled = DecodeBase64Strict(RawQuery(request));
               if (!scrambled) {
                 platform.AddLogField("decoded", JsonString(""));
                 LogVerdict(platform, {}, "query is not standard Base64");
               } else {
                 const std::string plain = UnscrambleReport(*scrambled);
                 platform.AddLogField("decoded", JsonString(plain));
                 const QueryFields fields = SplitQuery(plain);
                 LogVerdict(platform, fields, CheckDataReport(fields));
               }
               Answer(platform, request, response);
             });

  server.Get("/wd.php", [&platform](const httplib::Request& request, httplib::Response& response) {
    platform.AddLogField("collector", JsonString("wd"));
    const QueryFields fields = SplitQuery(RawQuery(request));
    LogVerdict(platform, fields, CheckStatsReport(fields));
    Answer(platform, request, response);
  });
}

}  // namespace fernlite::devplatform
