#include <windows.h>
#include <shellapi.h>

#include "game/guest_link.h"
#include "game/guest_link_platform.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

void OpenUrl(const std::u16string& url) {
  ShellExecuteW(nullptr, L"open", W(url), nullptr, nullptr, SW_SHOWNORMAL);
}

bool AskBindQuestion() {
  return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(kBindQuestionText),
                     reinterpret_cast<const wchar_t*>(kBindCaption), MB_YESNO) == IDYES;
}

}  // namespace

const GuestLinkPlatform& NativeGuestLinkPlatform() {
  static const GuestLinkPlatform& table = *new GuestLinkPlatform{&OpenUrl, &AskBindQuestion};
  return table;
}

}  // namespace fernlite
