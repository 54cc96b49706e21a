// The two event report collectors. Both answer "ok" whatever arrives; what they understood is
// in the request log.
#include <httplib.h>

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
               response.set_content("ok", "text/plain");
             });

  server.Get("/wd.php", [&platform](const httplib::Request& request, httplib::Response& response) {
    platform.AddLogField("collector", JsonString("wd"));
    const QueryFields fields = SplitQuery(RawQuery(request));
    LogVerdict(platform, fields, CheckStatsReport(fields));
    response.set_content("ok", "text/plain");
  });
}

}  // namespace fernlite::devplatform
