// The lifeline: a request that is never answered in full. A byte goes out every 100 ms; once
// a write fails the client is gone and the server shuts itself down.
#include <httplib.h>

#include "platform.h"
#include "routes.h"

namespace fernlite::devplatform {

void RegisterControlRoutes(httplib::Server& server, Platform& platform) {
  server.Get(
      "/control/lifeline", [&platform](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider("text/plain", [&platform](size_t, httplib::DataSink& sink) {
          if (!sink.write(".", 1)) {
            platform.RequestShutdown();
            return false;
          }
          return !platform.WaitForStop(std::chrono::milliseconds(100));
        });
      });
}

}  // namespace fernlite::devplatform
