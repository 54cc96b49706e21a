#include <windows.h>
#include <shellapi.h>

#include "game/guest_link.h"
#include "platform/wide_win32.h"

namespace fernlite {

void OpenUrlInDefaultBrowser(const std::u16string& url) {
  ShellExecuteW(nullptr, L"open", W(url), nullptr, nullptr, SW_SHOWNORMAL);
}

bool AskBindAccountQuestion() {
  return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(kBindQuestionText),
                     reinterpret_cast<const wchar_t*>(kBindCaption), MB_YESNO) == IDYES;
}

bool RunBindAction(void* game_window) {
  HWND window = static_cast<HWND>(game_window);
  return RunBindAction(AskBindAccountQuestion,
                       [window] { SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

}  // namespace fernlite
