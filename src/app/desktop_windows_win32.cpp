// The launcher's windows on Win32: the translucent launcher dialog over its page dialog, and
// the skinned game window.
//
// With FERNLITE_TEST_EVENTS=1 the process reports its windows on standard output
// ("mapped: TITLE", "unmapped: TITLE", "game window: guest|player NAME, URL", and once the game
// window shows "game caption: IDS, TEXT" with its caption items' identifiers and label) and takes
// commands, one per line, on standard input: "call METHOD JSON-ARRAY" calls that method of
// window.external through the script bridge's IDispatch as a page script would (arguments in
// reverse, strings VT_BSTR, integers VT_I4, booleans VT_BOOL, null VT_NULL) and answers
// "call: METHOD 0xHRESULT"; "close TITLE" closes the window with that title.
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop_windows.h"
#include "app/startup.h"
#include "game/ax_host_win32.h"
#include "game/bridge_call.h"
#include "game/game_window.h"
#include "game/game_window_win32.h"
#include "game/script_bridge_win32.h"
#include "platform/message_loop_win32.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/wide_win32.h"
#include "skin/icon_bubble_win32.h"
#include "skin/launcher_dialog_win32.h"

namespace fernlite {
namespace {

constexpr wchar_t kCommandClassName[] = L"FernliteTestCommands";
constexpr UINT kCommandMessage = WM_APP + 17;

// ---- Test events ------------------------------------------------------------------------------

void Emit(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  FlushFileBuffers(out);
}

std::string TitleOf(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return ToUtf8(FromWide(title));
}

// One argument as a script engine hands it to IDispatch::Invoke.
VARIANT ToVariant(const CallArgument& argument) {
  VARIANT value;
  VariantInit(&value);
  if (const auto* text = std::get_if<std::u16string>(&argument)) {
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()),
                                       static_cast<UINT>(text->size()));
  } else if (const auto* number = std::get_if<std::int32_t>(&argument)) {
    V_VT(&value) = VT_I4;
    V_I4(&value) = *number;
  } else if (const auto* flag = std::get_if<bool>(&argument)) {
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = *flag ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    V_VT(&value) = VT_NULL;
  }
  return value;
}

HRESULT InvokeCall(const BridgeCall& call) {
  CImpIDispatch* bridge = ScriptBridgeDispatch();
  if (!bridge) return E_UNEXPECTED;
  std::u16string name = call.method;
  LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(name.data())};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = bridge->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) return found;
  // Automation passes the last script argument first.
  std::vector<VARIANT> arguments;
  for (auto it = call.arguments.rbegin(); it != call.arguments.rend(); ++it) {
    arguments.push_back(ToVariant(*it));
  }
  DISPPARAMS params{arguments.empty() ? nullptr : arguments.data(), nullptr,
                    static_cast<UINT>(arguments.size()), 0};
  VARIANT result;
  VariantInit(&result);
  UINT bad_argument = 0;
  const HRESULT outcome = bridge->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                         &params, &result, nullptr, &bad_argument);
  VariantClear(&result);
  for (VARIANT& argument : arguments) VariantClear(&argument);
  return outcome;
}

void RunCommand(const std::string& line) {
  if (line.rfind("call ", 0) == 0) {
    const std::optional<BridgeCall> call = ParseBridgeCall(line);
    if (!call) {
      Emit("bad call: " + line);
      return;
    }
    const HRESULT outcome = InvokeCall(*call);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(outcome));
    Emit("call: " + ToUtf8(call->method) + " " + text);
  } else if (line.rfind("close ", 0) == 0) {
    const std::u16string title = FromUtf8(line.substr(6));
    HWND window = FindWindowW(nullptr, W(title));
    if (!window || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
      Emit("no window: " + line.substr(6));
      return;
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else {
    Emit("unknown command: " + line);
  }
}

LRESULT CALLBACK CommandProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kCommandMessage) {
    std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lparam));
    RunCommand(*line);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Standard input, read on a thread of its own; each line is handed to the window thread.
void ReadCommands(HWND target) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!in || in == INVALID_HANDLE_VALUE) return;
  std::string pending;
  char buffer[512];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(in, buffer, sizeof buffer, &read, nullptr) || read == 0) return;
    pending.append(buffer, read);
    // A runaway line is dropped rather than grown without end.
    if (pending.size() > 64 * 1024) pending.clear();
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      while (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      auto* heap = new std::string(std::move(line));
      if (!PostMessageW(target, kCommandMessage, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
    }
  }
}

// The game caption's own items (not the system buttons) and the label's text.
std::string CaptionItems(const SkinFrame& frame) {
  std::string ids, label;
  for (const auto& [id, button] : frame.Buttons()) {
    if (id < kCaptionBindButton || !button.visible) continue;
    ids += (ids.empty() ? "" : " ") + std::to_string(id);
    if (id == kCaptionGreeting) label = ToUtf8(button.text);
  }
  return ids + ", " + label;
}

bool TestEventsWanted() {
  return EnvironmentVariable("FERNLITE_TEST_EVENTS") == u"1";
}

// ---- The windows -----------------------------------------------------------------------------

class DesktopWindows : public LauncherWindows {
 public:
  explicit DesktopWindows(RunSettings& settings) : settings_(settings) {}

  void Open() override {
    CreateScriptBridge();
    InitWindowModule();
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterAxHostClasses();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (TestEventsWanted()) {
      test_events_ = true;
      WNDCLASSW command_class{};
      command_class.lpfnWndProc = CommandProc;
      command_class.hInstance = instance;
      command_class.lpszClassName = kCommandClassName;
      RegisterClassW(&command_class);
      commands_ = CreateWindowExW(0, kCommandClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);
      if (commands_) std::thread(ReadCommands, commands_).detach();
    }
  }

  int RunLauncher() override {
    CMessageLoop* loop = AddMessageLoop();
    const bool png = DrawingAvailable();
    int result = kWindowNotCreated;
    {
      CFernliteDlg dialog(png ? kLauncherPngImage : kLauncherJpgImage,
                          png ? ImageType::Png : ImageType::Jpg, settings_);
      LauncherDialogWindow window(dialog);
      if (HWND handle = window.Create()) {
        Mapped(handle);
        loop->Run();
        Unmapped();
        result = kWindowClosed;
      }
    }
    RemoveMessageLoop();
    return result;
  }

  int RunGameWindow() override {
    const GameWindowRequest request = RequestFromSettings(settings_);
    if (test_events_) {
      Emit(
          std::string("game window: ") +
          (IsGuestPlayer(request.player_name) ? "guest" : "player " + ToUtf8(request.player_name)) +
          ", " + ToUtf8(request.url));
    }
    CMessageLoop* loop = AddMessageLoop();
    int result = kWindowNotCreated;
    {
      CWebGameDlg dialog(request);
      if (HWND window = dialog.Create()) {
        // A window whose browser could not be made is closing already and never shows.
        if (IsWindowVisible(window)) {
          Mapped(window);
          if (test_events_) Emit("game caption: " + CaptionItems(dialog.Frame()));
        }
        loop->Run();
        if (!shown_title_.empty()) Unmapped();
        result = kWindowClosed;
      }
    }
    RemoveMessageLoop();
    return result;
  }

  void ShowBubble(const std::u16string& label, int show_command) override {
    RunIconBubble(label, show_command);
  }

  void Close() override {
    if (commands_) DestroyWindow(commands_);
    commands_ = nullptr;
    TermWindowModule();
    // Every browser has let go of the bridge by now: the windows that held them are gone.
    DeleteScriptBridge();
  }

 private:
  void Mapped(HWND window) {
    shown_title_ = TitleOf(window);
    if (test_events_ && IsWindowVisible(window)) Emit("mapped: " + shown_title_);
  }
  void Unmapped() {
    if (test_events_) Emit("unmapped: " + shown_title_);
    shown_title_.clear();
  }

  RunSettings& settings_;
  bool test_events_ = false;
  HWND commands_ = nullptr;
  std::string shown_title_;
};

}  // namespace

std::unique_ptr<LauncherWindows> MakeDesktopWindows(RunSettings& settings) {
  return std::make_unique<DesktopWindows>(settings);
}

}  // namespace fernlite
