// The signed guest-login link: every address the game wants shown outside its own browser (new
// windows, the pay page) travels as `goto` inside a link that carries the guest's user
// information to the platform, signed with MD5 over that information, the time and a key.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace fernlite {

// Shared with the platform; its characters are hashed as text.
inline constexpr char16_t kLinkSignKey[] = u"5be0a9c41f7d26e8930b4acd17e25f68";

inline constexpr char16_t kBindQuestionText[] = u"绑定账号需要暂时退出游戏，您需要现在绑定吗？";
inline constexpr char16_t kBindCaption[] = u"绑定";

// Scheme and host of the game site ("/guest/link.php" and "/pay/" live there), no slash at
// the end.
std::u16string GameHostBase();

// UTF-8 bytes; ASCII letters and digits kept, every other byte as "%XX" (upper-case hex).
std::u16string PercentEncodeUtf8(std::u16string_view text);

// Seconds since 1970-01-01 UTC, low 32 bits as an unsigned decimal number.
std::u16string TimeText(std::int64_t unix_seconds);
std::u16string CurrentTimeText();

// 32 lower-case hex digits of MD5(user_info + time_text + key) over ANSI bytes; empty when
// user_info is empty.
std::u16string ComputeLinkSign(std::u16string_view user_info, std::u16string_view time_text);

// Everything a link is made of, so it can be built from recorded values.
struct GuestLinkValues {
  std::u16string host;
  std::u16string ext;
  std::u16string user_info;
  std::u16string channel_id;
  std::u16string sub_channel_id;
  std::u16string device_id;
  std::u16string time_text;
};

std::u16string BuildGuestLink(const GuestLinkValues& values, std::u16string_view target);
// The same from the run settings, the device identifier and the clock of this moment.
std::u16string BuildGuestLink(std::u16string_view target);
GuestLinkValues CurrentGuestLinkValues();

// host + "/pay/?gid=" + game code + "&sid=" + server id, values as they are.
std::u16string BuildPayAddress(std::u16string_view host, std::u16string_view game_code,
                               std::u16string_view server_id);

// Opens an address with the desktop's default handler; the outcome is not examined.
void OpenUrlInDefaultBrowser(const std::u16string& url);

// Builds the link for the target and opens it in the default browser.
void OpenGuestLinkInBrowser(std::u16string_view target);

// A page can ask for windows in a loop without any click; each would start the default
// browser. At most `kMaxNewWindowsPerSecond` requests within any second go through.
inline constexpr size_t kMaxNewWindowsPerSecond = 3;
class NewWindowLimit {
 public:
  using Clock = std::chrono::steady_clock;
  // True when a request at `now` may go through (and counts from then on).
  bool Allow(Clock::time_point now);

 private:
  std::deque<Clock::time_point> recent_;
};

// A game page asked for a new window: open the guest link for its address instead, unless
// the page has asked too often just now. Returns the value for the event's Cancel flag (always
// true: the embedded browser opens nothing).
bool HandleNewWindowRequest(std::u16string_view target);
// The same with the limit and the moment given.
bool HandleNewWindowRequest(std::u16string_view target, NewWindowLimit& limit,
                            NewWindowLimit::Clock::time_point now);

// The pay button of the game window's caption.
void RunPayAction();

// The account-binding button: a Yes/No question; Yes closes the game window the way its own
// close button would (the launcher comes back), No leaves everything as it is. Returns
// whether the window was asked to close.
bool RunBindAction(const std::function<void()>& close_game_window);

}  // namespace fernlite
