// What the caption actions need from the system: the default browser and a Yes/No question.
#pragma once

#include <functional>
#include <string>

namespace fernlite {

struct GuestLinkPlatform {
  static constexpr const char* kUnit = "guest link";
  // Opens an address with the desktop's default handler; the outcome is not examined.
  std::function<void(const std::u16string& url)> open_url;
  // The account-binding question, modal and without owner window: true for Yes.
  std::function<bool()> ask_bind_question;
};

const GuestLinkPlatform& NativeGuestLinkPlatform();

}  // namespace fernlite
