// bench_fetch: downloads the same 64 MiB file from the development platform with Fetch and
// with the curl command line, and compares the rates.
//
//   bench_fetch [rounds]      (default 3; the best round of each counts)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/http_fetch.h"
#include "platform/text.h"
#include "platform/native_tables.h"

namespace {

constexpr size_t kFileSize = size_t{64} << 20;
using Clock = std::chrono::steady_clock;

struct Server {
  pid_t pid = -1;
  int port = 0;
};

// Starts the platform and reads its "listening on http://127.0.0.1:PORT" line.
Server StartPlatform(const std::filesystem::path& dir) {
  Server server;
  int out[2];
  if (pipe(out) != 0) return server;
  const std::string log = (dir / "requests.jsonl").string();
  const std::string root = (dir / "root").string();
  server.pid = fork();
  if (server.pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    // Its farewell line would otherwise land after our last line.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    execl(FERNLITE_DEVPLATFORM_PATH, "devplatform", "--port", "0", "--log", log.c_str(), "--root",
          root.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos) {
    server.port = std::atoi(line.c_str() + colon + 1);
  }
  return server;
}

void StopPlatform(const Server& server) {
  if (server.pid <= 0) return;
  kill(server.pid, SIGTERM);
  waitpid(server.pid, nullptr, 0);
}

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

// `cpu_seconds` receives what the curl process itself used.
bool RunCurl(const std::string& url, const std::string& out, double& cpu_seconds) {
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("curl", "curl", "--silent", "--fail", "--noproxy", "*", "-o", out.c_str(), url.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  const bool ended = pid > 0 && wait4(pid, &status, 0, &usage) == pid;
  cpu_seconds = CpuSeconds(usage);
  return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double MiBPerSecond(double seconds) {
  return static_cast<double>(kFileSize) / (1 << 20) / seconds;
}

bool HasFullSize(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::file_size(file, error) == kFileSize && !error;
}

}  // namespace

int main(int argc, char** argv) {
  fernlite::InstallPlatform();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  char pattern[] = "/tmp/bench_fetch.XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::filesystem::path dir = pattern;
  std::filesystem::create_directories(dir / "root");
  {
    std::ofstream file(dir / "root" / "big.bin", std::ios::binary);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i % 251);
    for (size_t written = 0; written < kFileSize; written += block.size()) {
      file.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }

  const Server server = StartPlatform(dir);
  if (server.port <= 0) {
    std::fprintf(stderr, "bench_fetch: development platform did not start\n");
    StopPlatform(server);
    std::filesystem::remove_all(dir);
    return 1;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/files/big.bin";
  const std::u16string wide_url = fernlite::FromUtf8(url);
  const std::u16string fetch_out = fernlite::FromUtf8((dir / "fetch.bin").string());
  const std::string curl_out = (dir / "curl.bin").string();

  double best_fetch = 0;
  double best_curl = 0;
  double fetch_cpu = 1e9;
  double curl_cpu = 1e9;
  bool ok = true;
  // Round 0 warms the server and the page cache and is not counted.
  for (int round = 0; round <= rounds && ok; ++round) {
    const double cpu_before = OwnCpuSeconds();
    auto start = Clock::now();
    ok = fernlite::Fetch(wide_url, fetch_out) && HasFullSize(dir / "fetch.bin");
    const double fetch_seconds = Seconds(Clock::now() - start);
    const double fetch_cpu_round = OwnCpuSeconds() - cpu_before;
    double curl_cpu_round = 0;
    start = Clock::now();
    ok = ok && RunCurl(url, curl_out, curl_cpu_round) && HasFullSize(curl_out);
    const double curl_seconds = Seconds(Clock::now() - start);
    if (!ok || round == 0) continue;
    std::printf("round %d: Fetch %.1f MiB/s, curl %.1f MiB/s\n", round, MiBPerSecond(fetch_seconds),
                MiBPerSecond(curl_seconds));
    best_fetch = std::max(best_fetch, MiBPerSecond(fetch_seconds));
    best_curl = std::max(best_curl, MiBPerSecond(curl_seconds));
    fetch_cpu = std::min(fetch_cpu, fetch_cpu_round);
    curl_cpu = std::min(curl_cpu, curl_cpu_round);
  }
  StopPlatform(server);
  std::filesystem::remove_all(dir);
  if (!ok) {
    std::fprintf(stderr, "bench_fetch: a download failed\n");
    return 1;
  }
  // The server's time is in both rates; the client's own work shows in its CPU time.
  std::printf("client CPU per 64 MiB: Fetch %.0f ms, curl %.0f ms (least of %d)\n",
              fetch_cpu * 1000, curl_cpu * 1000, rounds);
  std::printf("Fetch: %.1f MiB/s (best of %d)\n", best_fetch, rounds);
  std::printf("curl:  %.1f MiB/s (best of %d)\n", best_curl, rounds);
  std::printf("fetch/curl ratio: %.2f\n", best_fetch / best_curl);
  return 0;
}
