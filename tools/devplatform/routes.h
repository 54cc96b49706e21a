// Route groups of the development platform; main.cpp registers each of them once.
#pragma once

namespace httplib {
class Server;
}

namespace fernlite::devplatform {

class Platform;

// /jk/1.html (scrambled data collector) and /wd.php (statistics collector).
void RegisterCollectorRoutes(httplib::Server& server, Platform& platform);
// /test/...: status codes, byte patterns, truncation, hanging and slow transfers, user agent.
void RegisterTestRoutes(httplib::Server& server, Platform& platform);
// /control/lifeline (only with --lifeline): the server runs as long as this request's
// connection stays open, so a test process that ends, however it ends, takes it down.
void RegisterControlRoutes(httplib::Server& server, Platform& platform);
// /files/<path> from the --root directory.
void RegisterFileRoutes(httplib::Server& server, Platform& platform);
// /game/wd/<gid>.xml upgrade descriptions and /download/ of new executables and signatures.
void RegisterUpgradeRoutes(httplib::Server& server, Platform& platform);
// The game site: guest entry page, demo game, /guest/link.php (checks the sign), /pay/.
void RegisterGuestRoutes(httplib::Server& server, Platform& platform);

}  // namespace fernlite::devplatform
