// Tables for tests that must see or answer what the program asks of the system. Each object
// replaces one table for its own lifetime, starting from the real one, so everything it does
// not answer still works.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/shortcuts_platform.h"
#include "game/guest_link_platform.h"
#include "game/script_bridge.h"
#include "net/http_fetch_platform.h"
#include "platform/files_platform.h"
#include "platform/process_platform.h"
#include "platform/seam.h"

namespace fernlite::test {

// The shortcut operations of the platform, for tests that make or read shortcuts themselves.
std::u16string ReadShortcutArguments(const std::u16string& shortcut_path);
bool WriteShortcut(const std::u16string& target, const std::u16string& shortcut_path,
                   const std::u16string& arguments);

// COM on the calling thread (Windows; nothing elsewhere) for tests that use shell links.
class ScopedServices {
 public:
  ScopedServices();
  ~ScopedServices();
  ScopedServices(const ScopedServices&) = delete;
  ScopedServices& operator=(const ScopedServices&) = delete;

 private:
  bool drawing_ = false;
};

// "http://host:port/object" of a request, as the program asked for it.
std::u16string UrlText(const UrlParts& url);

// HTTP requests answered here instead of on the network. Without an answer every request
// fails, as with no network at all.
class FakeHttp {
 public:
  using Answer = std::function<bool(const std::u16string& url, const std::u16string* file_path,
                                    const FetchLimits& limits)>;
  explicit FakeHttp(Answer answer = {});

  std::vector<std::u16string> Urls() const;
  // The event codes of the statistics collector's requests ("stat="), in order.
  std::vector<std::u16string> Events() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::u16string> urls_;
  Answer answer_;
  ScopedPlatform<HttpPlatform> scoped_;
};

// The running executable seen at another path.
class FakeModulePath {
 public:
  explicit FakeModulePath(std::u16string path);
  void Set(std::u16string path) { *path_ = std::move(path); }

 private:
  std::shared_ptr<std::u16string> path_;
  ScopedPlatform<FilesPlatform> scoped_;
};

struct StartedProgram {
  std::u16string program;
  std::u16string parameters;
};

// Programs recorded instead of started; the process list answers `running` for every name.
class FakeProcesses {
 public:
  explicit FakeProcesses(bool running = false);
  const std::vector<StartedProgram>& Started() const { return *started_; }

 private:
  std::shared_ptr<std::vector<StartedProgram>> started_;
  ScopedPlatform<ProcessPlatform> scoped_;
};

// The user's desktop and Startup folders at places of the test's choice.
class FakeShortcutFolders {
 public:
  explicit FakeShortcutFolders(ShortcutFolders folders);

 private:
  ScopedPlatform<ShortcutsPlatform> scoped_;
};

// Addresses recorded instead of opened in the default browser; the binding question answered
// with `answer`.
class FakeBrowser {
 public:
  explicit FakeBrowser(bool answer = false);
  const std::vector<std::u16string>& Opened() const { return *opened_; }
  int Questions() const { return *questions_; }
  void Answer(bool yes) { *answer_ = yes; }

 private:
  std::shared_ptr<std::vector<std::u16string>> opened_;
  std::shared_ptr<int> questions_;
  std::shared_ptr<bool> answer_;
  ScopedPlatform<GuestLinkPlatform> scoped_;
};

// A launcher window that counts the start-the-game requests it receives.
struct CountingLauncher : LauncherWindowSink {
  void OnStartGameRequest() override { ++requests; }
  int requests = 0;
};

}  // namespace fernlite::test
