// devplatform: plays the game platform's servers on the loopback interface.
//
//   devplatform --port N --log FILE [--root DIR] [--port-file FILE] [--exit-on-eof] [--lifeline]
//               [--collectors normal|silent|trickle|endless]
//
// Prints "listening on http://127.0.0.1:PORT" as its first line, appends one JSON line per
// request to the log, and stops on SIGTERM or SIGINT. Tests that start it also tie its life
// to their own, so a test that dies cannot leave it running: with --exit-on-eof it stops when
// its standard input ends, with --lifeline when the /control/lifeline connection closes (Wine
// gives the Unix programs it starts no pipes, only sockets get through). --collectors makes the
// report collectors accept and never answer, answer two bytes a second, or send a body without
// end, for timing the launcher against collectors that misbehave.
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "hostile_server.h"
#include "platform.h"
#include "routes.h"

namespace {

using fernlite::devplatform::CollectorMode;
using fernlite::devplatform::Platform;
using fernlite::devplatform::RequestLog;

constexpr int kWorkerThreads = 64;

struct Options {
  int port = -1;
  std::string log;
  std::string root;
  std::string port_file;
  bool exit_on_eof = false;
  bool lifeline = false;
  CollectorMode collectors = CollectorMode::kNormal;
};

int Usage() {
  std::cerr << "usage: devplatform --port N --log FILE [--root DIR] [--port-file FILE] "
               "[--exit-on-eof] [--lifeline] [--collectors normal|silent|trickle|endless]\n";
  return 2;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--exit-on-eof") {
      options.exit_on_eof = true;
    } else if (arg == "--lifeline") {
      options.lifeline = true;
    } else if (arg == "--port" && has_value) {
      char* end = nullptr;
      const long port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || port < 0 || port > 65535) return false;
      options.port = static_cast<int>(port);
    } else if (arg == "--log" && has_value) {
      options.log = argv[++i];
    } else if (arg == "--root" && has_value) {
      options.root = argv[++i];
    } else if (arg == "--port-file" && has_value) {
      options.port_file = argv[++i];
    } else if (arg == "--collectors" && has_value) {
      const std::optional<CollectorMode> mode =
          fernlite::devplatform::ParseCollectorMode(argv[++i]);
      if (!mode) return false;
      options.collectors = *mode;
    } else {
      return false;
    }
  }
  return options.port >= 0 && !options.log.empty();
}

// Written under a temporary name and renamed, so a reader never sees half a number.
bool WritePortFile(const std::string& path, int port) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return false;
  const bool written = std::fprintf(file, "%d\n", port) > 0;
  if (std::fclose(file) != 0 || !written) return false;
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage();

  // Stop signals are taken by sigwait below; every thread inherits this mask. It replaces
  // whatever mask the starter left (Wine, for one, starts Unix programs with signals blocked).
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGUSR1);
  pthread_sigmask(SIG_SETMASK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the server

  RequestLog log;
  if (!log.Open(options.log)) {
    std::cerr << "devplatform: cannot open log " << options.log << ": " << std::strerror(errno)
              << "\n";
    return 1;
  }
  Platform platform(options.root, log);
  platform.set_collector_mode(options.collectors);

  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server.set_pre_routing_handler([&platform](const httplib::Request&, httplib::Response&) {
    platform.BeginRequest();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_post_routing_handler(
      [&platform](const httplib::Request& request, httplib::Response& response) {
        platform.LogResponse(request, response.status);
      });
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.status == 404 && response.body.empty()) {
      response.set_content("not found", "text/plain");
    }
  });

  // The misbehaving listener beside the platform; its port is asked for over HTTP.
  fernlite::devplatform::HostileServer hostile;
  const int hostile_port = hostile.Start();
  server.Get("/test/hostile-port",
             [hostile_port](const httplib::Request&, httplib::Response& response) {
               response.set_content(std::to_string(hostile_port), "text/plain");
             });

  fernlite::devplatform::RegisterCollectorRoutes(server, platform);
  fernlite::devplatform::RegisterTestRoutes(server, platform);
  fernlite::devplatform::RegisterFileRoutes(server, platform);
  if (options.lifeline) fernlite::devplatform::RegisterControlRoutes(server, platform);
  fernlite::devplatform::RegisterUpgradeRoutes(server, platform);
  fernlite::devplatform::RegisterGuestRoutes(server, platform);

  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
      std::cerr << "devplatform: cannot bind a port on 127.0.0.1\n";
      return 1;
    }
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    std::cerr << "devplatform: cannot bind 127.0.0.1:" << port << "\n";
    return 1;
  }

  std::thread serving([&server] {
    server.listen_after_bind();
    kill(getpid(), SIGUSR1);  // wakes main if serving ended on its own
  });
  // Announced only once the serving loop runs: the server ignores a stop that comes before
  // it, and a starter that stops us right after reading the port would wait for ever.
  for (int i = 0; i < 500 && !server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  if (!options.port_file.empty() && !WritePortFile(options.port_file, port)) {
    std::cerr << "devplatform: cannot write " << options.port_file << "\n";
  }
  std::printf("listening on http://127.0.0.1:%d\n", port);
  std::fflush(stdout);

  if (options.exit_on_eof) {
    std::thread([] {
      char buffer[256];
      while (true) {
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count > 0) continue;
        if (count == 0) break;
        if (errno == EINTR) continue;
        // Wine hands over its pipes as non-blocking sockets.
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          pollfd input{STDIN_FILENO, POLLIN, 0};
          poll(&input, 1, -1);
          continue;
        }
        break;
      }
      kill(getpid(), SIGTERM);
    }).detach();
  }

  int received = 0;
  sigwait(&stop_signals, &received);

  platform.Stop();  // releases held and trickling requests so the workers can finish
  hostile.Stop();
  server.stop();
  serving.join();
  if (!options.port_file.empty()) std::remove(options.port_file.c_str());
  std::fprintf(stderr, "devplatform: stopped (%s)\n", strsignal(received));
  return 0;
}
