#include "fakes/fake_platform.h"

#include "app/startup_platform.h"
#include "platform/text.h"

namespace fernlite::test {
namespace {

template <class Table>
Table Adjusted(const std::function<void(Table&)>& adjust) {
  Table table = Platform<Table>();
  adjust(table);
  return table;
}

}  // namespace

std::u16string ReadShortcutArguments(const std::u16string& shortcut_path) {
  return Platform<ShortcutsPlatform>().read_arguments(shortcut_path);
}

bool WriteShortcut(const std::u16string& target, const std::u16string& shortcut_path,
                   const std::u16string& arguments) {
  return Platform<ShortcutsPlatform>().write(target, shortcut_path, arguments);
}

ScopedServices::ScopedServices() : drawing_(Platform<StartupPlatform>().start_services()) {}

ScopedServices::~ScopedServices() {
  Platform<StartupPlatform>().stop_services(drawing_);
}

std::u16string UrlText(const UrlParts& url) {
  return std::u16string(url.secure ? u"https://" : u"http://") + url.host + u":" + ToU16(url.port) +
         url.object;
}

FakeHttp::FakeHttp(Answer answer)
    : answer_(std::move(answer)), scoped_(Adjusted<HttpPlatform>([this](HttpPlatform& http) {
        http.get = [this](const UrlParts& url, const std::u16string* file_path,
                          const FetchLimits& limits) {
          const std::u16string text = UrlText(url);
          {
            std::lock_guard lock(mutex_);
            urls_.push_back(text);
          }
          return answer_ && answer_(text, file_path, limits);
        };
        http.forget_cached = [](const std::u16string&) {};
      })) {}

std::vector<std::u16string> FakeHttp::Urls() const {
  std::lock_guard lock(mutex_);
  return urls_;
}

std::vector<std::u16string> FakeHttp::Events() const {
  std::vector<std::u16string> events;
  for (const std::u16string& url : Urls()) {
    if (url.find(u"/wd.php?") == std::u16string::npos) continue;
    const size_t start = url.find(u"&stat=");
    if (start == std::u16string::npos) continue;
    const size_t end = url.find(u'&', start + 1);
    events.push_back(url.substr(start + 6, end == std::u16string::npos ? end : end - start - 6));
  }
  return events;
}

FakeModulePath::FakeModulePath(std::u16string path)
    : path_(std::make_shared<std::u16string>(std::move(path))),
      scoped_(Adjusted<FilesPlatform>([path = path_](FilesPlatform& files) {
        files.module_path = [path] { return *path; };
      })) {}

FakeProcesses::FakeProcesses(bool running)
    : started_(std::make_shared<std::vector<StartedProgram>>()),
      scoped_(Adjusted<ProcessPlatform>([running, started = started_](ProcessPlatform& process) {
        process.is_running = [running](std::u16string_view) { return running; };
        process.start = [started](const std::u16string& program, const std::u16string& parameters) {
          started->push_back({program, parameters});
          return true;
        };
      })) {}

FakeShortcutFolders::FakeShortcutFolders(ShortcutFolders folders)
    : scoped_(Adjusted<ShortcutsPlatform>([folders](ShortcutsPlatform& shortcuts) {
        shortcuts.user_folders = [folders] { return folders; };
      })) {}

FakeBrowser::FakeBrowser(bool answer)
    : opened_(std::make_shared<std::vector<std::u16string>>()),
      questions_(std::make_shared<int>(0)),
      answer_(std::make_shared<bool>(answer)),
      scoped_(Adjusted<GuestLinkPlatform>(
          [opened = opened_, questions = questions_, answer = answer_](GuestLinkPlatform& link) {
            link.open_url = [opened](const std::u16string& url) { opened->push_back(url); };
            link.ask_bind_question = [questions, answer] {
              ++*questions;
              return *answer;
            };
          })) {}

}  // namespace fernlite::test
