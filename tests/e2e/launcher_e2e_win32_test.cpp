// The Windows launcher as a whole program under Wine, against the development platform. Wine
// has no web engine, so the page's calls come in through the "call" command, which calls the
// script bridge's IDispatch the way the page's script engine would.
#include <windows.h>

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "fakes/fake_shell_win32.h"
#include "fakes/isolated_profile.h"
#include "fakes/dev_platform.h"
#include "fakes/dev_platform_log.h"
#include "fakes/raw_http.h"
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

// The URL recorder of this build as the handler of http and https addresses, for as long as
// the object lives; the handlers the prefix had come back afterwards.
class RecordingBrowser {
 public:
  RecordingBrowser() {
    const std::u16string recorder = PathAppend(PathDirectory(GetModulePath()), u"url_recorder.exe");
    ok_ = FileExists(recorder);
    const std::u16string command = QuoteArgument(recorder) + u" \"%1\"";
    for (int i = 0; i < 2; ++i) {
      UniqueRegistryKey key;
      if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kKeys[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        ok_ = false;
        continue;
      }
      wchar_t old[1024] = {};
      DWORD size = sizeof old - sizeof(wchar_t);
      if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                           &size) == ERROR_SUCCESS) {
        saved_[i] = old;
      }
      ok_ = ok_ && RegSetValueExW(
                       key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(W(command)),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
  }
  ~RecordingBrowser() {
    for (int i = 0; i < 2; ++i) {
      UniqueRegistryKey key;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kKeys[i], 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        continue;
      RegSetValueExW(key.get(), nullptr, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(saved_[i].c_str()),
                     static_cast<DWORD>((saved_[i].size() + 1) * sizeof(wchar_t)));
    }
  }
  bool ok() const { return ok_; }

 private:
  static constexpr const wchar_t* kKeys[2] = {L"http\\shell\\open\\command",
                                              L"https\\shell\\open\\command"};
  bool ok_ = false;
  std::wstring saved_[2];
};

// The lines of a file once it has some, or none after the timeout.
std::vector<std::string> WaitForLines(const std::u16string& path, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<std::string> lines;
  while (Clock::now() < deadline) {
    if (const auto bytes = ReadFileBytes(path); bytes && bytes->find('\n') != std::string::npos) {
      for (size_t start = 0, end; (end = bytes->find('\n', start)) != std::string::npos;
           start = end + 1) {
        lines.push_back(bytes->substr(start, end - start));
      }
      return lines;
    }
    Sleep(100);
  }
  return lines;
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

  bool Start(const std::u16string& arguments = u"/I noinstall") {
    test::ScopedEnv platform("FERNLITE_PLATFORM", ToUtf8(platform_.base_url()));
    test::ScopedEnv events("FERNLITE_TEST_EVENTS", std::string("1"));
    test::ScopedEnv urls("FERNLITE_URL_LOG", ToUtf8(url_log_));
    return launcher_.Start(installed_, arguments);
  }

  // Asks for the game as the guest entry page does and waits for the game window.
  HWND StartGame(const std::string& keep, const std::string& call) {
    launcher_.Send("call " + keep);
    EXPECT_NE(launcher_.WaitFor("call: "), "") << launcher_.Transcript();
    launcher_.Send(call);
    EXPECT_NE(launcher_.WaitFor("unmapped: " + title_), "") << launcher_.Transcript();
    if (launcher_.WaitFor("mapped: Game") == "") return nullptr;
    Sleep(500);
    return FindWindowW(nullptr, L"Game");
  }

  // Closes the game window with its own close button; the launcher comes back.
  void CloseGameWithItsButton(HWND game) {
    RECT rect{};
    GetWindowRect(game, &rect);
    ClickAt(rect.right - 20, rect.top + 16);
    ASSERT_NE(launcher_.WaitFor("unmapped: Game"), "") << launcher_.Transcript();
    ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  }

  // Clicks the launcher's close button.
  void ClickLauncherClose() {
    Sleep(500);
    HWND window = FindWindowW(nullptr, W(std::u16string(build::kGameTitle)));
    ASSERT_NE(window, nullptr);
    RECT rect{};
    GetWindowRect(window, &rect);
    ClickAt(rect.left + 627 + 15, rect.top + 13);
  }

  // Closes the launcher with its close button: the program ends with 1 and cleans up.
  void CloseLauncherWithItsButton() {
    ClickLauncherClose();
    EXPECT_EQ(launcher_.WaitExit(30000), 1) << launcher_.Transcript();
    EXPECT_FALSE(FileExists(marker_));
    EXPECT_TRUE(Reported("/jk/1.html", "45"));
    EXPECT_TRUE(Reported("/wd.php", "45"));
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
  std::u16string url_log_ = dir_.Join(u"opened-urls.txt");
  LauncherProcess launcher_;
};

TEST_F(WindowsLauncher, AGuestsGameWindowClosesWithItsOwnButtonAndTheLauncherEndsTheProgram) {
  ASSERT_TRUE(Start());
  ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  EXPECT_TRUE(FileExists(marker_));
  HWND window = FindWindowW(nullptr, W(std::u16string(build::kGameTitle)));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED);

  launcher_.Send("call NavigateToGameUrl [\"http://h/g\",0,800]");  // too few: refused
  EXPECT_EQ(launcher_.WaitFor("call: NavigateToGameUrl"), "call: NavigateToGameUrl 0x80004005");
  HWND game = StartGame("SetGuestInfo [\"ext-1\"]", "call NavigateToGameUrlEx [\"gst\",\"" +
                                                        ToUtf8(platform_.base_url()) +
                                                        "/game/?sid=1\",0,800,500,\"Game\",0]");
  ASSERT_NE(game, nullptr) << launcher_.Transcript();
  EXPECT_NE(launcher_.Transcript().find("game window: guest, " + ToUtf8(platform_.base_url()) +
                                        "/game/?sid=1\n"),
            std::string::npos)
      << launcher_.Transcript();
  EXPECT_NE(launcher_.Transcript().find("game caption: 113 115, 游客,您好!\n"), std::string::npos)
      << launcher_.Transcript();
  // The skinned frame at the requested outer size, in the middle of the work area.
  RECT rect{}, area{};
  GetWindowRect(game, &rect);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_EQ(rect.right - rect.left, 800);
  EXPECT_EQ(rect.bottom - rect.top, 500);
  EXPECT_NEAR((rect.left + rect.right) / 2, (area.left + area.right) / 2, 2);
  EXPECT_NEAR((rect.top + rect.bottom) / 2, (area.top + area.bottom) / 2, 2);
  EXPECT_NE(GetPropW(game, L"PROP_SkinWndKTR"), nullptr);

  CloseGameWithItsButton(game);
  CloseLauncherWithItsButton();
}

TEST_F(WindowsLauncher, ANamedPlayersPayButtonOpensTheSignedPayLinkInTheDefaultBrowser) {
  RecordingBrowser browser;
  ASSERT_TRUE(browser.ok());
  ASSERT_TRUE(Start());
  ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  HWND game = StartGame("SetUserInfo [\"ext-1\",\"uid=P-7&nick=Alice\"]",
                        "call NavigateToGameUrl2 [\"7\",\"Alice\",\"" +
                            ToUtf8(platform_.base_url()) + "/game/?sid=7\",0,900,560,\"Game\",0]");
  ASSERT_NE(game, nullptr) << launcher_.Transcript();
  EXPECT_NE(launcher_.Transcript().find("game caption: 114 115, Alice\n"), std::string::npos)
      << launcher_.Transcript();
  RECT rect{};
  GetWindowRect(game, &rect);
  EXPECT_EQ(rect.right - rect.left, 900);
  ClickAt(rect.right - 130, rect.top + 17);

  const std::vector<std::string> opened = WaitForLines(url_log_, 20000);
  ASSERT_EQ(opened.size(), 1u) << launcher_.Transcript();
  const std::string base = ToUtf8(platform_.base_url());
  ASSERT_EQ(opened[0].rfind(base + "/guest/link.php?", 0), 0u) << opened[0];
  // The platform itself checks the sign and gives the decoded values back.
  const std::string request = "GET " + opened[0].substr(base.size()) +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: application/json\r\n"
                              "Connection: close\r\n\r\n";
  const auto response = test::ParseRawResponse(test::SendRawHttp(platform_.port(), request).bytes);
  ASSERT_EQ(response.status, 200) << response.body;
  const auto json = test::ParseJson(response.body);
  ASSERT_TRUE(json.has_value()) << response.body;
  EXPECT_EQ(json->Text("goto"), base + "/pay/?gid=" + ToUtf8(build::kGameCode) + "&sid=7");
  EXPECT_EQ(json->Text("ext"), "ext-1");
  EXPECT_EQ(json->Text("userinfo"), "uid=P-7&nick=Alice");

  CloseGameWithItsButton(game);
  CloseLauncherWithItsButton();
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

// Presses the bubble's button (the bubble stands right of its icon) once it has faded in.
void PressBubbleButton(HWND bubble) {
  Sleep(800);
  RECT rect{};
  GetWindowRect(bubble, &rect);
  ClickAt(rect.left + 125 + 33, rect.top + 47);
}

TEST_F(WindowsLauncher, TheBubbleAskedForWithIBPointsAtItsIconAfterTheWindowsClose) {
  test::FakeShell shell(test::FakeShell::Tree::kProgman, {{L"QmztIcon", {300, 200, 375, 275}}});
  ASSERT_TRUE(Start(u"/I noinstall /IB QmztIcon"));
  ASSERT_NE(launcher_.WaitFor("mapped: " + title_), "") << launcher_.Transcript();
  EXPECT_EQ(test::WaitForBubbleWindow(0), nullptr);
  ClickLauncherClose();

  HWND bubble = test::WaitForBubbleWindow(20000);
  ASSERT_NE(bubble, nullptr) << launcher_.Transcript();
  EXPECT_EQ(FindWindowW(nullptr, W(std::u16string(build::kGameTitle))), nullptr);
  RECT placed{};
  GetWindowRect(bubble, &placed);
  EXPECT_EQ(placed.left, 375 - 10);
  EXPECT_EQ(placed.top, 200);
  EXPECT_EQ(launcher_.WaitExit(0), -1);  // the bubble holds the process
  PressBubbleButton(bubble);
  EXPECT_EQ(launcher_.WaitExit(20000), 1) << launcher_.Transcript();
  EXPECT_FALSE(FileExists(marker_));
}

// The desktop folder's shortcut names (without ".lnk").
std::vector<std::wstring> DesktopShortcuts() {
  wchar_t folder[MAX_PATH] = {};
  std::vector<std::wstring> names;
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, folder))) return names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((std::wstring(folder) + L"\\*.lnk").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    names.push_back(name.substr(0, name.size() - 4));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

void RemoveDesktopShortcut(const std::wstring& name) {
  wchar_t folder[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, folder)))
    DeleteFileW((std::wstring(folder) + L"\\" + name + L".lnk").c_str());
}

TEST_F(WindowsLauncher, AnInstallThatDoesNotRunTheCopyShowsTheBubbleForItsShortcutAndEnds) {
  test::IsolatedProfile profile;
  const std::vector<std::wstring> before = DesktopShortcuts();
  test::FakeShell shell;
  const auto started = Clock::now();
  ASSERT_TRUE(Start(u"/R norun"));
  // The desktop shows the new shortcut as an icon, as the shell would.
  std::wstring created;
  for (const auto deadline = started + std::chrono::seconds(30);
       created.empty() && Clock::now() < deadline; Sleep(20)) {
    for (const std::wstring& name : DesktopShortcuts())
      if (std::find(before.begin(), before.end(), name) == before.end()) created = name;
  }
  ASSERT_FALSE(created.empty()) << launcher_.Transcript();
  shell.AddIcon({created, {200, 100, 275, 175}});

  HWND bubble = test::WaitForBubbleWindow(20000);
  ASSERT_NE(bubble, nullptr) << launcher_.Transcript();
  // After the pause that follows the install.
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(1000));
  RECT placed{};
  GetWindowRect(bubble, &placed);
  EXPECT_EQ(placed.left, 275 - 10);
  EXPECT_EQ(placed.top, 100);
  PressBubbleButton(bubble);
  EXPECT_EQ(launcher_.WaitExit(20000), 0) << launcher_.Transcript();
  RemoveDesktopShortcut(created);
  // The install was reported, the launcher never ran.
  EXPECT_TRUE(Reported("/wd.php", "44") || Reported("/wd.php", "50"));
  EXPECT_FALSE(Reported("/jk/1.html", "45"));
  EXPECT_FALSE(Reported("/wd.php", "45"));
}

}  // namespace
}  // namespace fernlite
