// The Windows launcher as a whole program under Wine, against the development platform. Wine
// has no web engine, so the page's calls come in through the "call" command, which calls the
// script bridge's IDispatch the way the page's script engine would.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/test_env.h"
#include "platform/files.h"
#include "platform/handles_win32.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

using Clock = std::chrono::steady_clock;

// The launcher executable of this build tree: the test programs sit below it.
std::u16string LauncherExecutable() {
  for (std::u16string dir = PathDirectory(GetModulePath()); !dir.empty();) {
    const std::u16string candidate = PathAppend(dir, build::kExeName);
    if (FileExists(candidate)) return candidate;
    const std::u16string parent = PathDirectory(dir);
    if (parent == dir) break;
    dir = parent;
  }
  return {};
}

// The launcher as a child process: commands on its standard input, events on its output.
class LauncherProcess {
 public:
  bool Start(const std::u16string& exe, const std::u16string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE child_in = nullptr, child_out = nullptr, our_in = nullptr, our_out = nullptr;
    if (!CreatePipe(&child_in, &our_in, &inherit, 0) ||
        !CreatePipe(&our_out, &child_out, &inherit, 0)) {
      return false;
    }
    SetHandleInformation(our_in, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(our_out, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in;
    startup.hStdOutput = child_out;
    startup.hStdError = child_out;
    std::u16string line = QuoteArgument(exe) + u" " + arguments;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(W(exe), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(child_in);
    CloseHandle(child_out);
    input_.reset(our_in);
    output_.reset(our_out);
    if (!started) return false;
    CloseHandle(process.hThread);
    process_.reset(process.hProcess);
    reader_ = std::thread([this] { Read(); });
    return true;
  }

  ~LauncherProcess() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 99);
      WaitForSingleObject(process_.get(), 5000);
    }
    input_.reset();
    if (reader_.joinable()) reader_.join();
  }

  void Send(const std::string& command) {
    const std::string line = command + "\n";
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(input_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
  }

  // Waits for an output line that starts with `prefix`; returns it, or "" after the timeout.
  std::string WaitFor(const std::string& prefix, int timeout_ms = 60000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        while (next_ < lines_.size()) {
          const std::string& line = lines_[next_++];
          if (line.rfind(prefix, 0) == 0) return line;
        }
      }
      Sleep(20);
    }
    return "";
  }

  // Exit code after the process ended by itself, -1 when it did not end in time.
  int WaitExit(int timeout_ms) {
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
  }

  std::string Transcript() {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& line : lines_) all += line + "\n";
    return all;
  }

 private:
  void Read() {
    std::string pending;
    char buffer[1024];
    DWORD read = 0;
    while (ReadFile(output_.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
      pending.append(buffer, read);
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        while (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
      }
    }
  }

  UniqueKernelHandle process_;
  UniqueFile input_, output_;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

void ClickAt(int x, int y) {
  SetCursorPos(x, y);
  INPUT inputs[3]{};
  inputs[0].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[0].mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  inputs[0].mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  SendInput(1, &inputs[0], sizeof(INPUT));
  Sleep(200);
  inputs[1].type = INPUT_MOUSE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &inputs[1], sizeof(INPUT));
  Sleep(100);
  inputs[2].type = INPUT_MOUSE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &inputs[2], sizeof(INPUT));
}

class WindowsLauncher : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = LauncherExecutable();
    ASSERT_FALSE(exe_.empty()) << "launcher executable not found above the test program";
    ASSERT_TRUE(platform_.ok());
    installed_ = dir_.Join(build::kExeName);
    ASSERT_TRUE(CopyFileW(W(exe_), W(installed_), FALSE));
    marker_ = dir_.Join(std::u16string(build::kGameCode) + u"_mark.mrk");
  }

  bool Start() {
    test::ScopedEnv platform("FERNLITE_PLATFORM", ToUtf8(platform_.base_url()));
    test::ScopedEnv events("FERNLITE_TEST_EVENTS", std::string("1"));
    return launcher_.Start(installed_, u"/I noinstall");
  }

  bool Reported(const char* path, const char* event) {
    for (const auto& entry : test::LogEntriesForPath(platform_.LogLines(), path)) {
      const test::JsonValue* fields = entry.Find("fields");
      if (fields && fields->Text(path[1] == 'j' ? "ev" : "stat") == event) return true;
    }
    return false;
  }

  std::string title_ = ToUtf8(build::kGameTitle);
  std::u16string exe_, installed_, marker_;
  test::DevPlatform platform_;
  test::TempDir dir_;
  LauncherProcess launcher_;
};

TEST_F(WindowsLauncher, CallStartsTheGameAndTheCloseButtonEndsTheProgram) {
  ASSERT_TRUE(Start());
  ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  EXPECT_TRUE(FileExists(marker_));
  HWND window = FindWindowW(nullptr, W(std::u16string(build::kGameTitle)));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED);

  // What the guest entry page does: keep the guest, then ask for the game.
  launcher_.Send("call SetGuestInfo [\"ext-1\"]");
  EXPECT_EQ(launcher_.WaitFor("call: SetGuestInfo"), "call: SetGuestInfo 0x00000000");
  launcher_.Send("call NavigateToGameUrl [\"http://h/g\",0,800]");  // too few: refused
  EXPECT_EQ(launcher_.WaitFor("call: NavigateToGameUrl"), "call: NavigateToGameUrl 0x80004005");
  launcher_.Send("call NavigateToGameUrlEx [\"gst\",\"" + ToUtf8(platform_.base_url()) +
                 "/game/?sid=1\",0,800,500,\"Game\",0]");
  EXPECT_EQ(launcher_.WaitFor("call: NavigateToGameUrlEx"), "call: NavigateToGameUrlEx 0x00000000");
  ASSERT_NE(launcher_.WaitFor("unmapped: " + title_), "") << launcher_.Transcript();
  EXPECT_EQ(launcher_.WaitFor("game window: "),
            "game window: guest, " + ToUtf8(platform_.base_url()) + "/game/?sid=1")
      << launcher_.Transcript();
  ASSERT_NE(launcher_.WaitFor("mapped: Game"), "") << launcher_.Transcript();

  // Closing the game window brings the launcher back; its close button ends the program.
  launcher_.Send("close Game");
  ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  Sleep(500);
  window = FindWindowW(nullptr, W(std::u16string(build::kGameTitle)));
  ASSERT_NE(window, nullptr);
  RECT rect{};
  GetWindowRect(window, &rect);
  ClickAt(rect.left + 627 + 15, rect.top + 13);
  EXPECT_EQ(launcher_.WaitExit(30000), 1) << launcher_.Transcript();
  EXPECT_FALSE(FileExists(marker_));
  EXPECT_TRUE(Reported("/jk/1.html", "45"));
  EXPECT_TRUE(Reported("/wd.php", "45"));
}

// Wine's loader refuses a library the prefix disables for one program: the launcher's own
// start-up probe then finds no drawing library.
class NoGdiplusForTheLauncher {
 public:
  NoGdiplusForTheLauncher() {
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key_.put(),
                    nullptr);
    RegSetValueExW(key_.get(), L"gdiplus", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                   sizeof(wchar_t));
  }
  ~NoGdiplusForTheLauncher() {
    key_.reset();
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
  }

 private:
  static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\vexa_qmzt.exe\\DllOverrides";
  UniqueRegistryKey key_;
};

TEST_F(WindowsLauncher, WithoutGdiplusTheLauncherIsTheFramedJpgWindow) {
  NoGdiplusForTheLauncher no_gdiplus;
  ASSERT_TRUE(Start());
  ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  Sleep(300);
  HWND window = FindWindowW(nullptr, W(std::u16string(build::kGameTitle)));
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 600);
  EXPECT_EQ(rect.bottom - rect.top, 427);
  launcher_.Send("close " + title_);
  EXPECT_EQ(launcher_.WaitExit(30000), 1) << launcher_.Transcript();
}

}  // namespace
}  // namespace fernlite
