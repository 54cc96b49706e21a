// A desktop the bubble can be tested against: a private session bus with its accessibility
// bus, child programs (the stand-in desktop, the launcher) read line by line, and the test's
// own X connection for looking at the bubble from outside and sending input.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "skin/icon_bubble_linux.h"

// Last: Xlib's macros (None, Status, Bool) would rename what the headers above declare.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace fernlite::test {

using Clock = std::chrono::steady_clock;

inline bool WaitUntil(int ms, const std::function<bool()>& done) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

// A list shared between threads and kept until the program ends (clean-ups at exit use it).
template <typename T>
struct SharedList {
  std::mutex mutex;
  std::vector<T> items;

  void Add(T item) {
    std::lock_guard lock(mutex);
    items.push_back(item);
  }
  void Remove(T item) {
    std::lock_guard lock(mutex);
    std::erase(items, item);
  }
  bool Has(T item) {
    std::lock_guard lock(mutex);
    return std::find(items.begin(), items.end(), item) != items.end();
  }
};

// The process groups of the children still running. A test program that exits early (a fatal
// error, an X error) takes them along: left running they would hold its output open, and the
// runner would wait for that output until its own time-out.
inline SharedList<GPid>& LiveGroups() {
  static auto* groups = new SharedList<GPid>;
  return *groups;
}
inline void KillLiveGroups() {
  std::lock_guard lock(LiveGroups().mutex);
  for (const GPid group : LiveGroups().items) kill(-group, SIGKILL);
  LiveGroups().items.clear();
}
inline void AddLiveGroup(GPid group) {
  static const bool registered = std::atexit(&KillLiveGroups) == 0;
  if (!registered) ADD_FAILURE() << "cannot register the clean-up of child processes";
  LiveGroups().Add(group);
}

// A child process with a pipe to its stdin and one from its stdout, read line by line. It
// leads a process group of its own: what it starts (the bus's activated services inherit its
// stdout) ends with it, or the pipe would never close.
class Child {
 public:
  bool Start(const std::vector<std::string>& args, char** env = nullptr) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    GError* error = nullptr;
    const bool started = g_spawn_async_with_pipes(
        nullptr, argv.data(), env,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
        [](gpointer) { setpgid(0, 0); }, nullptr, &pid_, &in_, &out_, nullptr, &error);
    if (error) {
      ADD_FAILURE() << args[0] << ": " << error->message;
      g_error_free(error);
    }
    if (!started) return false;
    AddLiveGroup(pid_);
    reader_ = std::thread([this] { Read(); });
    return true;
  }

  ~Child() { Stop(); }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    if (in_ >= 0 && write(in_, text.data(), text.size()) < 0) ADD_FAILURE() << "send " << line;
  }

  // The first line after `after` that starts with `prefix`.
  std::optional<std::string> WaitLine(const std::string& prefix, size_t after = 0, int ms = 20000) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (size_t i = after; i < lines_.size(); ++i)
        if (lines_[i].rfind(prefix, 0) == 0) return (found = lines_[i]).has_value();
      return closed_;
    });
    return found;
  }

  size_t LineCount() {
    std::lock_guard lock(mutex_);
    return lines_.size();
  }

  void Stop() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    if (pid_ > 0) {
      // The desktop ends at the end of its input; anything else is told to.
      if (!WaitExit(5000)) {
        kill(-pid_, SIGTERM);
        if (!WaitExit(5000)) kill(-pid_, SIGKILL);
        WaitExit(-1);
      }
      // Whatever of its group is left: the bus's services, the registry.
      kill(-pid_, SIGTERM);
      LiveGroups().Remove(pid_);
      g_spawn_close_pid(pid_);
      pid_ = 0;
    }
    // A grandchild that shrugs off the signal may still hold the pipe: stop reading anyway.
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

  void Terminate() {
    if (pid_ > 0) kill(-pid_, SIGTERM);
    Stop();
  }

 private:
  bool WaitExit(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) return true;
      if (ms >= 0 && Clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  void Read() {
    std::string pending;
    char buffer[512];
    while (!stop_) {
      pollfd ready{out_, POLLIN, 0};
      const int polled = poll(&ready, 1, 100);
      if (polled < 0 && errno != EINTR) break;
      if (polled <= 0) continue;
      const ssize_t got = read(out_, buffer, sizeof(buffer));
      if (got <= 0) break;
      pending.append(buffer, static_cast<size_t>(got));
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::lock_guard lock(mutex_);
        lines_.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
        changed_.notify_all();
      }
    }
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  GPid pid_ = 0;
  int in_ = -1, out_ = -1;
  std::thread reader_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool closed_ = false;
};

// "at LABEL X Y W H" as a rectangle.
inline std::optional<Rect> ParseAt(const std::optional<std::string>& line) {
  if (!line) return std::nullopt;
  std::istringstream in(*line);
  std::string at, label;
  int x = 0, y = 0, w = 0, h = 0;
  if (!(in >> at >> label >> x >> y >> w >> h)) return std::nullopt;
  return RectXYWH(x, y, w, h);
}

// The test's own connections to the X server. A window can go between being listed and being
// read (a bubble ending): on these connections that error only means "gone", where Xlib's
// default would end the program. Errors on other connections (the toolkit's, when a bubble
// runs in this process) go to the handler that was there before.
inline SharedList<Display*>& ScreenDisplays() {
  static auto* displays = new SharedList<Display*>;
  return *displays;
}
inline XErrorHandler g_previous_x_error_handler = nullptr;
inline int OnScreenError(Display* display, XErrorEvent* event) {
  if (ScreenDisplays().Has(display)) return 0;  // the call that caused it reports its failure
  return g_previous_x_error_handler ? g_previous_x_error_handler(display, event) : 0;
}

// The test's own connection to the X server, for looking at the bubble from outside and
// sending input.
class Screen {
 public:
  Screen() : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    static const XErrorHandler installed = g_previous_x_error_handler =
        XSetErrorHandler(&OnScreenError);
    (void)installed;
    ScreenDisplays().Add(display_);
  }
  ~Screen() {
    if (!display_) return;
    XCloseDisplay(display_);
    ScreenDisplays().Remove(display_);
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;
  Display* display() const { return display_; }

  struct Found {
    Window id = 0;
    Rect rect;
    bool viewable = false;
  };

  // The bubble's window among the top-level windows.
  std::optional<Found> Bubble() {
    Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
    unsigned count = 0;
    std::optional<Found> found;
    if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return found;
    // Windows of ended bubbles may linger unmapped for a moment: a shown one comes first.
    for (unsigned i = 0; i < count && !(found && found->viewable); ++i) {
      char* name = nullptr;
      if (XFetchName(display_, children[i], &name) && name &&
          std::string(name) == kBubbleWindowTitle) {
        XWindowAttributes attributes{};
        int x = 0, y = 0;
        Window child = 0;
        if (XGetWindowAttributes(display_, children[i], &attributes) &&
            XTranslateCoordinates(display_, children[i], root, 0, 0, &x, &y, &child)) {
          found = Found{children[i], RectXYWH(x, y, attributes.width, attributes.height),
                        attributes.map_state == IsViewable};
        }
      }
      if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
  }

  std::optional<Found> ViewableBubble() {
    std::optional<Found> found = Bubble();
    return found && found->viewable ? found : std::nullopt;
  }

  // The window's own pixel (its contents, not what covers it), as 0xAARRGGBB.
  std::optional<uint32_t> Pixel(Window window, int x, int y) {
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    const auto pixel = static_cast<uint32_t>(XGetPixel(image, 0, 0));
    XDestroyImage(image);
    return pixel;
  }

  std::vector<std::string> AtomList(Window window, const char* property) {
    std::vector<std::string> names;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, property, False), 0, 64, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) {
        char* name = XGetAtomName(display_, atoms[i]);
        if (name) names.emplace_back(name);
        if (name) XFree(name);
      }
    }
    if (data) XFree(data);
    return names;
  }

  bool TakesFocus(Window window) {
    XWMHints* hints = XGetWMHints(display_, window);
    const bool takes = !hints || !(hints->flags & InputHint) || hints->input;
    if (hints) XFree(hints);
    return takes;
  }

  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, 0);
    XSync(display_, False);
  }
  void Button(bool down) {
    XTestFakeButtonEvent(display_, 1, down ? True : False, 0);
    XSync(display_, False);
  }

 private:
  Display* display_;
};

// A private session bus, and the accessibility bus it starts on request; the desktops and
// this process use only those.
class AccessibilityBus {
 public:
  bool Start() {
    char runtime_template[] = "/tmp/bubble-runtime-XXXXXX";
    if (!mkdtemp(runtime_template)) return false;
    runtime_dir_ = runtime_template;
    // The locks and the buses' sockets stay with this run.
    setenv("XDG_RUNTIME_DIR", runtime_dir_.c_str(), 1);
    unsetenv("AT_SPI_BUS_ADDRESS");
    // Without a display the bus launcher leaves the shared screen's root window alone.
    gchar** env = g_environ_unsetenv(g_get_environ(), "DISPLAY");
    const bool started = session_.Start(
        {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, env);
    g_strfreev(env);
    if (!started) return false;
    const std::optional<std::string> address = session_.WaitLine("unix:", 0, 20000);
    if (!address) return false;
    setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);

    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address->c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!bus) {
      ADD_FAILURE() << "session bus: " << (error ? error->message : "?");
      if (error) g_error_free(error);
      return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 30000, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
      ADD_FAILURE() << "accessibility bus: " << (error ? error->message : "?");
      if (error) g_error_free(error);
      return false;
    }
    const gchar* a11y = nullptr;
    g_variant_get(reply, "(&s)", &a11y);
    setenv("AT_SPI_BUS_ADDRESS", a11y, 1);
    g_variant_unref(reply);
    return true;
  }

  void Stop() {
    session_.Terminate();
    if (!runtime_dir_.empty()) {
      const std::string command = "rm -rf '" + runtime_dir_ + "'";
      if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << runtime_dir_;
    }
  }

 private:
  Child session_;
  std::string runtime_dir_;
};

}  // namespace fernlite::test
