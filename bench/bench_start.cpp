// bench_start: how fast the launcher gets going, against the floors a GTK program and a
// WebKitGTK program have on the same display. One run starts, in turn, the launcher against
// the development platform, an empty GTK window of the launcher's size, a bare WebKitGTK host
// on the launcher's page (with the engine's defaults, with cheaper rendering settings and with
// the process-wide switches the launcher sets for itself), and
// the launcher again against report collectors that never answer, trickle or never end.
//
//   bench_start [--runs N]        (default 5 of each; needs a display: run it under xvfb-run)
//
// Times are from just before posix_spawn, on CLOCK_MONOTONIC:
// - frame mapped: our two programs stamp their window's "map" themselves; the launcher's
//   "mapped: TITLE" test event carries no time (unless FERNLITE_EVENT_TIMES puts one first),
//   so it is stamped as it arrives on the pipe: a reader thread waits on it, and how late our
//   own stamped lines arrive is printed as the error of that;
// - page load finished: likewise ("loaded ms: N URI" / "loaded: URI");
// - page first painted, read from the screen: both pages lie over the screen's centre; the
//   first grab of the box there in which most pixels are the page's night blue.
// Once the page has painted and 2 s have passed quietly, the whole process tree (the web
// engine's helpers included) is measured: PSS, then CPU time and screen redraws over 2 s.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "spawn_linux.h"

namespace {

namespace fs = std::filesystem;
using fernlite::bench::Child;
using fernlite::bench::DevPlatform;
using fernlite::bench::MonotonicMs;

constexpr double kRunLimitMs = 15000;
constexpr double kGrabIntervalMs = 5;
constexpr double kQuietMs = 2000;
constexpr double kIdleMs = 2000;
// What a quiet tree may use in that time (timers, the engine's housekeeping).
constexpr double kIdleCpuMs = 10;
// The sample box at the screen's centre, inside the launcher's page and the bare host's.
constexpr int kBoxWidth = 320;
constexpr int kBoxHeight = 160;
constexpr double kPaintedShare = 0.5;

// --- The screen -------------------------------------------------------------------------------

class ScreenReader {
 public:
  ScreenReader() : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    root_ = DefaultRootWindow(display_);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, root_, &attributes);
    box_x_ = std::max(0, (attributes.width - kBoxWidth) / 2);
    box_y_ = std::max(0, (attributes.height - kBoxHeight) / 2);
    box_width_ = std::min(kBoxWidth, attributes.width);
    box_height_ = std::min(kBoxHeight, attributes.height);
    int error_base = 0;
    if (XDamageQueryExtension(display_, &damage_event_, &error_base)) {
      damage_ = XDamageCreate(display_, root_, XDamageReportNonEmpty);
    }
  }
  ~ScreenReader() {
    if (!display_) return;
    if (damage_) XDamageDestroy(display_, damage_);
    XCloseDisplay(display_);
  }
  ScreenReader(const ScreenReader&) = delete;
  ScreenReader& operator=(const ScreenReader&) = delete;

  bool ok() const { return display_ != nullptr; }
  bool counts_redraws() const { return damage_ != 0; }

  // Share of the box's pixels in the page's night blue, -1 when the grab failed. The guest
  // page is blue-black gradients and panels; before its first frame the box shows the desktop
  // (black), the page window's dark grey or the engine's white.
  double PageShare() {
    XImage* image =
        XGetImage(display_, root_, box_x_, box_y_, box_width_, box_height_, AllPlanes, ZPixmap);
    if (!image) return -1;
    const Channel red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
    long page = 0;
    for (int y = 0; y < box_height_; ++y) {
      for (int x = 0; x < box_width_; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        const int r = red.Of(pixel), g = green.Of(pixel), b = blue.Of(pixel);
        if (b >= r + 12 && b >= g + 4 && std::max({r, g, b}) <= 0xB0) ++page;
      }
    }
    XDestroyImage(image);
    return static_cast<double>(page) / (static_cast<double>(box_width_) * box_height_);
  }

  // Times anything on screen was drawn during the next `span_ms`.
  int CountRedraws(double span_ms) {
    XDamageSubtract(display_, damage_, None, None);
    XSync(display_, False);
    Drain();
    int redraws = 0;
    const double end = MonotonicMs() + span_ms;
    for (double now = MonotonicMs(); now < end; now = MonotonicMs()) {
      pollfd ready{ConnectionNumber(display_), POLLIN, 0};
      if (!XPending(display_) && poll(&ready, 1, static_cast<int>(end - now) + 1) <= 0) continue;
      while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == damage_event_ + XDamageNotify) {
          ++redraws;
          XDamageSubtract(display_, damage_, None, None);
        }
      }
    }
    return redraws;
  }

  void Drain() {
    while (XPending(display_)) {
      XEvent event;
      XNextEvent(display_, &event);
    }
  }

 private:
  // One colour channel of a pixel, scaled to 8 bits.
  struct Channel {
    explicit Channel(unsigned long mask) : mask(mask) {
      while (mask && !((mask >> shift) & 1)) ++shift;
      for (unsigned long m = mask >> shift; m & 1; m >>= 1) ++bits;
    }
    int Of(unsigned long pixel) const {
      if (!bits) return 0;
      const unsigned long value = (pixel & mask) >> shift;
      return bits >= 8 ? static_cast<int>(value >> (bits - 8))
                       : static_cast<int>(value * 255 / ((1ul << bits) - 1));
    }
    unsigned long mask;
    int shift = 0;
    int bits = 0;
  };

  Display* display_ = nullptr;
  Window root_ = 0;
  Damage damage_ = 0;
  int damage_event_ = 0;
  int box_x_ = 0, box_y_ = 0, box_width_ = 0, box_height_ = 0;
};

// --- What is run ------------------------------------------------------------------------------

enum class Kind { kLauncher, kEmptyWindow, kBareHost };

struct Program {
  std::string name;
  Kind kind;
  bool page;                       // has a page to time and a tree to measure once it painted
  std::string collectors;          // the development platform's --collectors, launcher only
  std::vector<std::string> env;    // added to the environment
  std::vector<std::string> flags;  // added to the bare host's arguments
};

struct Run {
  std::optional<double> frame, load, paint, pss_mib, idle_cpu_ms, pipe_delay;
  std::optional<int> redraws;
  std::string problem;  // why the run ended early
};

struct Context {
  fs::path dir;
  ScreenReader& screen;
  DevPlatform& platform;
  std::string page_url;  // the launcher's page, once a launcher run has loaded it
};

std::vector<std::string> Command(const Program& program, const Context& context,
                                 const fs::path& run_dir) {
  switch (program.kind) {
    case Kind::kLauncher: {
      const fs::path exe = fernlite::bench::CopyLauncher(run_dir / "app");
      if (exe.empty()) return {};
      return fernlite::bench::LauncherArguments(exe);
    }
    case Kind::kEmptyWindow: return {FERNLITE_EMPTY_WINDOW_PATH};
    case Kind::kBareHost: {
      std::vector<std::string> command{FERNLITE_BARE_HOST_PATH, context.page_url};
      command.insert(command.end(), program.flags.begin(), program.flags.end());
      return command;
    }
  }
  return {};
}

// Reads one output line and notes what it tells; false when nothing came before `deadline`.
bool TakeLine(Child& child, double start, double deadline, Run& run, Context& context) {
  std::string line;
  double stamp = 0;
  if (!child.ReadLine(deadline, line, stamp)) return false;
  // A launcher that stamps its events (FERNLITE_EVENT_TIMES) puts the time first.
  if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
    char* end = nullptr;
    const double own = std::strtod(line.c_str(), &end);
    if (*end == ' ') {
      stamp = own;
      line.erase(0, static_cast<size_t>(end - line.c_str()) + 1);
    }
  }
  // Our programs stamp their own lines; how late they arrive shows what a stamp taken on
  // arrival (the launcher's, otherwise) is off by.
  if (line.rfind("mapped ms: ", 0) == 0) {
    const double own = std::atof(line.c_str() + 11);
    if (!run.frame) run.frame = own - start;
    run.pipe_delay = stamp - own;
  } else if (line.rfind("loaded ms: ", 0) == 0) {
    if (!run.load) run.load = std::atof(line.c_str() + 11) - start;
  } else if (line.rfind("mapped: ", 0) == 0) {
    if (!run.frame) run.frame = stamp - start;
  } else if (line.rfind("loaded: ", 0) == 0 && line.find("/guest/") != std::string::npos) {
    if (!run.load) run.load = stamp - start;
    if (context.page_url.empty()) context.page_url = line.substr(8);
  }
  return true;
}

// Takes what arrives until `until`, and waits that long even when the output has ended.
void TakeLinesUntil(Child& child, double start, double until, Run& run, Context& context) {
  while (MonotonicMs() < until) {
    if (!TakeLine(child, start, until, run, context) && child.ended()) {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(until - MonotonicMs()));
      return;
    }
  }
}

// Sum over the tree; processes that cannot be read are left out and counted.
double TreePssMiB(const std::vector<pid_t>& tree, int& unreadable) {
  long long total = 0;
  for (const pid_t pid : tree) {
    const long long kib = fernlite::bench::PssKiB(pid);
    if (kib < 0) {
      ++unreadable;
    } else {
      total += kib;
    }
  }
  return static_cast<double>(total) / 1024.0;
}

std::map<pid_t, double> TreeCpu(const std::vector<pid_t>& tree) {
  std::map<pid_t, double> cpu;
  for (const pid_t pid : tree) {
    const double ms = fernlite::bench::CpuMs(pid);
    if (ms >= 0) cpu[pid] = ms;
  }
  return cpu;
}

Run RunOnce(const Program& program, Context& context, int index) {
  Run run;
  const fs::path run_dir = context.dir / (std::to_string(index) + "-" + program.name);
  std::error_code error;
  fs::create_directories(run_dir, error);
  std::optional<DevPlatform> own_platform;
  std::string base = context.platform.base_url();
  if (!program.collectors.empty()) {
    own_platform.emplace(run_dir, std::vector<std::string>{"--collectors", program.collectors});
    if (own_platform->port() == 0) {
      run.problem = "development platform did not start";
      return run;
    }
    base = own_platform->base_url();
  }
  if (program.kind == Kind::kBareHost && context.page_url.empty()) {
    context.page_url = context.platform.base_url() + "/guest/c1/?";
  }
  const std::vector<std::string> command = Command(program, context, run_dir);
  std::vector<std::string> extra = program.env;
  if (program.kind == Kind::kLauncher) {
    extra.push_back("FERNLITE_PLATFORM=" + base);
    extra.push_back("FERNLITE_TEST_EVENTS=1");
    extra.push_back("FERNLITE_EVENT_TIMES=1");
  }
  const std::vector<std::string> env = fernlite::bench::ChildEnvironment(run_dir / "home", extra);

  Child child;
  const double start = command.empty() ? -1 : child.Start(command, env, run_dir / "stderr.txt");
  if (start < 0) {
    run.problem = "could not start";
    return run;
  }
  const double limit = start + kRunLimitMs;
  while (!run.frame && TakeLine(child, start, limit, run, context)) {
  }
  if (!run.frame) {
    run.problem = "never mapped";
    return run;
  }
  if (!program.page) return run;

  // The box as it was when the frame mapped: a page must not be there yet.
  if (context.screen.PageShare() >= kPaintedShare) {
    run.problem = "page colours on screen before the page";
    return run;
  }
  while (!run.paint && MonotonicMs() < limit) {
    const double grabbed = MonotonicMs();
    if (context.screen.PageShare() >= kPaintedShare) {
      run.paint = grabbed - start;
      break;
    }
    TakeLinesUntil(child, start, grabbed + kGrabIntervalMs, run, context);
  }
  while (!run.load && TakeLine(child, start, limit, run, context)) {
  }
  if (!run.paint) {
    run.problem = "never painted";
    return run;
  }

  TakeLinesUntil(child, start, MonotonicMs() + kQuietMs, run, context);
  std::vector<pid_t> tree = child.Tree();
  int unreadable = 0;
  run.pss_mib = TreePssMiB(tree, unreadable);
  if (unreadable) run.problem = std::to_string(unreadable) + " processes unreadable";
  const std::map<pid_t, double> before = TreeCpu(tree);
  if (context.screen.counts_redraws()) {
    run.redraws = context.screen.CountRedraws(kIdleMs);
  } else {
    TakeLinesUntil(child, start, MonotonicMs() + kIdleMs, run, context);
  }
  double used = 0;
  for (const auto& [pid, ms] : TreeCpu(child.Tree())) {
    const auto was = before.find(pid);
    // A thread that ended in between takes its time along: never below zero.
    used += std::max(0.0, ms - (was == before.end() ? 0 : was->second));
  }
  run.idle_cpu_ms = used;
  return run;
}

// --- Figures ----------------------------------------------------------------------------------

struct Summary {
  int count = 0;
  double median = 0, min = 0, max = 0;
};

Summary Summarize(std::vector<double> values) {
  Summary summary;
  summary.count = static_cast<int>(values.size());
  if (values.empty()) return summary;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  summary.median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  summary.min = values.front();
  summary.max = values.back();
  return summary;
}

template <typename T>
Summary Column(const std::vector<Run>& runs, std::optional<T> Run::*field) {
  std::vector<double> values;
  for (const Run& run : runs) {
    if (run.*field) values.push_back(static_cast<double>(*(run.*field)));
  }
  return Summarize(values);
}

// "median (min-max)", with how many runs gave nothing; "-" when none did.
std::string Cell(const Summary& summary, int runs, const char* format = "%.0f") {
  if (summary.count == 0) return "-";
  const auto number = [format](double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return std::string(text);
  };
  std::string cell =
      number(summary.median) + " (" + number(summary.min) + "-" + number(summary.max) + ")";
  if (summary.count < runs) cell += " [" + std::to_string(runs - summary.count) + " missing]";
  return cell;
}

std::string Ratio(const Summary& top, const Summary& bottom) {
  if (top.count == 0 || bottom.count == 0 || bottom.median <= 0) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", top.median / bottom.median);
  return text;
}

const char* Verdict(bool met) {
  return met ? "met" : "missed";
}

int Usage() {
  std::fprintf(stderr, "usage: bench_start [--runs N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
      if (rounds < 1 || rounds > 100) return Usage();
    } else {
      return Usage();
    }
  }
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr,
                 "bench_start: needs a display (xvfb-run -a -s \"-screen 0 1280x800x24\")\n");
    return 1;
  }
  ScreenReader screen;
  if (!screen.ok()) {
    std::fprintf(stderr, "bench_start: cannot open the display\n");
    return 1;
  }
  fernlite::bench::KillChildrenOnSignal();
  fernlite::bench::TempDir dir;
  if (dir.path().empty()) return 1;
  DevPlatform platform(dir.path());
  if (platform.port() == 0) {
    std::fprintf(stderr, "bench_start: the development platform did not start\n");
    return 1;
  }
  Context context{dir.path(), screen, platform, {}};

  // The launcher comes first: the bare host loads the page the launcher loaded.
  const std::string no_dmabuf = "WEBKIT_DISABLE_DMABUF_RENDERER=1";
  const std::vector<Program> programs{
      {"launcher", Kind::kLauncher, true, "", {}, {}},
      {"empty GTK window", Kind::kEmptyWindow, false, "", {}, {}},
      {"bare host", Kind::kBareHost, true, "", {}, {}},
      {"bare host, no DMA-BUF", Kind::kBareHost, true, "", {no_dmabuf}, {}},
      {"bare host, no DMA-BUF, no GL",
       Kind::kBareHost,
       true,
       "",
       {no_dmabuf},
       {"--no-acceleration"}},
      // The switches the launcher itself sets where there is no GPU: the toolkit loads no GL.
      {"bare host, launcher's switches",
       Kind::kBareHost,
       true,
       "",
       {no_dmabuf, "GDK_GL=disable"},
       {"--no-acceleration"}},
      {"launcher, silent collectors", Kind::kLauncher, false, "silent", {}, {}},
      {"launcher, trickling collectors", Kind::kLauncher, false, "trickle", {}, {}},
      {"launcher, endless collectors", Kind::kLauncher, false, "endless", {}, {}},
  };
  // Rows 2 up to the first with collectors are the bare host's settings; the rest, the
  // launcher's slow collectors, "silent" first.
  const size_t first_slow_collectors = static_cast<size_t>(
      std::find_if(programs.begin(), programs.end(),
                   [](const Program& program) { return !program.collectors.empty(); }) -
      programs.begin());
  std::vector<std::vector<Run>> runs(programs.size());
  std::printf("bench_start: %d runs of each, in turn; ms from exec, median (min-max)\n", rounds);
  std::fflush(stdout);
  for (int round = 0; round < rounds; ++round) {
    for (size_t p = 0; p < programs.size(); ++p) {
      Run run = RunOnce(programs[p], context, round);
      if (!run.problem.empty()) {
        std::fprintf(stderr, "  run %d, %s: %s\n", round + 1, programs[p].name.c_str(),
                     run.problem.c_str());
      }
      runs[p].push_back(std::move(run));
      // Let the server take the windows down before the next start.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      screen.Drain();
    }
  }

  std::printf("\n%-32s %-22s %-22s %-22s\n", "", "frame mapped", "page load finished",
              "page first painted");
  for (size_t p = 0; p < programs.size(); ++p) {
    std::printf("%-32s %-22s %-22s %-22s\n", programs[p].name.c_str(),
                Cell(Column(runs[p], &Run::frame), rounds).c_str(),
                Cell(Column(runs[p], &Run::load), rounds).c_str(),
                Cell(Column(runs[p], &Run::paint), rounds).c_str());
  }
  std::printf("\n%-32s %-22s %-22s %-22s\n", "after painting, 2 s quiet", "PSS of tree (MiB)",
              "CPU over 2 s (ms)", "redraws over 2 s");
  for (size_t p = 0; p < programs.size(); ++p) {
    if (!programs[p].page) continue;
    std::printf("%-32s %-22s %-22s %-22s\n", programs[p].name.c_str(),
                Cell(Column(runs[p], &Run::pss_mib), rounds, "%.1f").c_str(),
                Cell(Column(runs[p], &Run::idle_cpu_ms), rounds, "%.1f").c_str(),
                screen.counts_redraws() ? Cell(Column(runs[p], &Run::redraws), rounds).c_str()
                                        : "n/a (no Damage)");
  }

  const Summary frame = Column(runs[0], &Run::frame);
  const Summary paint = Column(runs[0], &Run::paint);
  const Summary memory = Column(runs[0], &Run::pss_mib);
  const Summary empty = Column(runs[1], &Run::frame);
  // The bare host at its best setting: the one that paints first.
  size_t best = 2;
  for (size_t p = 3; p < first_slow_collectors; ++p) {
    const Summary candidate = Column(runs[p], &Run::paint);
    const Summary current = Column(runs[best], &Run::paint);
    if (candidate.count && (!current.count || candidate.median < current.median)) best = p;
  }
  const Summary bare_paint = Column(runs[best], &Run::paint);
  const Summary bare_load = Column(runs[best], &Run::load);
  const Summary bare_frame = Column(runs[best], &Run::frame);
  const Summary bare_memory = Column(runs[best], &Run::pss_mib);
  const Summary silent = Column(runs[first_slow_collectors], &Run::frame);

  std::vector<double> delays;
  for (const auto& program_runs : runs) {
    for (const Run& run : program_runs) {
      if (run.pipe_delay) delays.push_back(*run.pipe_delay);
    }
  }
  std::printf("\nself-stamped lines read late by (ms): %s\n",
              Cell(Summarize(delays), static_cast<int>(delays.size()), "%.2f").c_str());
  std::printf("best bare host: %s\n", programs[best].name.c_str());
  std::printf("launcher / empty window, frame mapped: %s\n", Ratio(frame, empty).c_str());
  std::printf("launcher / bare host, frame mapped: %s\n", Ratio(frame, bare_frame).c_str());
  std::printf("launcher / bare host, page load finished: %s\n",
              Ratio(Column(runs[0], &Run::load), bare_load).c_str());
  std::printf("launcher / bare host, page first painted: %s\n", Ratio(paint, bare_paint).c_str());
  std::printf("launcher / bare host, memory: %s\n", Ratio(memory, bare_memory).c_str());

  std::printf("\ngoals:\n");
  if (frame.count && empty.count) {
    std::printf("  frame mapped <= 1.8 x empty window: %s\n",
                Verdict(frame.median <= 1.8 * empty.median));
  }
  if (paint.count && bare_paint.count) {
    std::printf("  first painted <= 1.0 x best bare host and <= 500 ms: %s\n",
                Verdict(paint.median <= bare_paint.median && paint.median <= 500));
  }
  for (size_t p = first_slow_collectors; p < programs.size(); ++p) {
    const Summary slow = Column(runs[p], &Run::frame);
    if (!frame.count) break;
    std::printf("  %s, frame within 50 ms of normal: %s\n", programs[p].name.c_str(),
                slow.count == rounds ? Verdict(slow.median - frame.median <= 50) : "missed");
  }
  if (memory.count && bare_memory.count) {
    std::printf("  memory <= 1.10 x bare host tree: %s\n",
                Verdict(memory.median <= 1.10 * bare_memory.median));
  }
  const Summary idle = Column(runs[0], &Run::idle_cpu_ms);
  const Summary redraws = Column(runs[0], &Run::redraws);
  if (idle.count) {
    std::printf("  idle CPU ~0 (under %.0f ms in %.0f s): %s\n", kIdleCpuMs, kIdleMs / 1000,
                Verdict(idle.max < kIdleCpuMs));
  }
  if (redraws.count) std::printf("  idle redraws 0: %s\n", Verdict(redraws.max == 0));

  std::printf("\nframe/empty ratio: %s\n", Ratio(frame, empty).c_str());
  std::printf("paint/bare ratio: %s\n", Ratio(paint, bare_paint).c_str());
  if (silent.count) {
    std::printf("frame ms, silent collectors: %.0f\n", silent.median);
  } else {
    std::printf("frame ms, silent collectors: n/a (never mapped within %.0f ms)\n", kRunLimitMs);
  }
  return 0;
}
