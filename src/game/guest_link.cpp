#include "game/guest_link.h"

#include "game/guest_link_platform.h"
#include "platform/seam.h"

#include <chrono>

#include "app/run_settings.h"
#include "identity/device_id.h"
#include "identity/md5.h"
#include "net/endpoints.h"
#include "platform/text.h"

namespace fernlite {

namespace {

constexpr char16_t kHexUpper[] = u"0123456789ABCDEF";

bool IsAsciiAlnum(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void AppendSuffixIfMissing(std::u16string& link, std::u16string_view key,
                           std::u16string_view value) {
  if (link.find(key) != std::u16string::npos) return;
  link += key;
  link += value;
}

// The platform checks the sign over the text in the ANSI code page. A text that code page
// cannot hold would be hashed with substitute characters the platform can never reproduce, so
// it is hashed as UTF-8 instead.
std::string SignedBytes(std::u16string_view text) {
  std::string ansi = ToAnsi(text);
  if (FromAnsi(ansi) == text) return ansi;
  return ToUtf8(text);
}

}  // namespace

std::u16string GameHostBase() {
  return PlatformBase(Endpoint::kGame);
}

std::u16string PercentEncodeUtf8(std::u16string_view text) {
  const std::string bytes = ToUtf8(text);
  std::u16string out;
  out.reserve(bytes.size() * 3);
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    if (IsAsciiAlnum(byte)) {
      out += static_cast<char16_t>(byte);
    } else {
      out += u'%';
      out += kHexUpper[byte >> 4];
      out += kHexUpper[byte & 0x0F];
    }
  }
  return out;
}

std::u16string TimeText(std::int64_t unix_seconds) {
  return ToU16(static_cast<long long>(static_cast<std::uint32_t>(unix_seconds)));
}

std::u16string CurrentTimeText() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return TimeText(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

std::u16string ComputeLinkSign(std::u16string_view user_info, std::u16string_view time_text) {
  if (user_info.empty()) return {};
  std::u16string signed_text(user_info);
  signed_text += time_text;
  signed_text += kLinkSignKey;
  return AsciiToU16(Md5Hex(SignedBytes(signed_text)));
}

std::u16string BuildGuestLink(const GuestLinkValues& values, std::u16string_view target) {
  std::u16string link = values.host;
  link += u"/guest/link.php?ext=";
  link += PercentEncodeUtf8(values.ext);
  link += u"&userinfo=";
  link += PercentEncodeUtf8(values.user_info);
  link += u"&time=";
  link += values.time_text;
  link += u"&sign=";
  link += ComputeLinkSign(values.user_info, values.time_text);
  link += u"&goto=";
  link += PercentEncodeUtf8(target);
  // The encoded values cannot hold "&" or "=", so these always land at the end, in order.
  AppendSuffixIfMissing(link, u"&cid=", values.channel_id);
  AppendSuffixIfMissing(link, u"&ccid=", values.sub_channel_id);
  AppendSuffixIfMissing(link, u"&puid=", values.device_id);
  return link;
}

GuestLinkValues CurrentGuestLinkValues() {
  const RunSettings& settings = Settings();
  GuestLinkValues values;
  values.host = GameHostBase();
  values.ext = settings.Ext;
  values.user_info = settings.UserInfo;
  values.channel_id = settings.ChannelID;
  values.sub_channel_id = settings.SubChannelID;
  values.device_id = getdiskid::GetDeviceIdText();
  values.time_text = CurrentTimeText();
  return values;
}

std::u16string BuildGuestLink(std::u16string_view target) {
  return BuildGuestLink(CurrentGuestLinkValues(), target);
}

std::u16string BuildPayAddress(std::u16string_view host, std::u16string_view game_code,
                               std::u16string_view server_id) {
  std::u16string address(host);
  address += u"/pay/?gid=";
  address += game_code;
  address += u"&sid=";
  address += server_id;
  return address;
}

void OpenUrlInDefaultBrowser(const std::u16string& url) {
  Platform<GuestLinkPlatform>().open_url(url);
}

void OpenGuestLinkInBrowser(std::u16string_view target) {
  OpenUrlInDefaultBrowser(BuildGuestLink(target));
}

bool NewWindowLimit::Allow(Clock::time_point now) {
  while (!recent_.empty() && now - recent_.front() >= std::chrono::seconds(1)) recent_.pop_front();
  if (recent_.size() >= kMaxNewWindowsPerSecond) return false;
  recent_.push_back(now);
  return true;
}

bool HandleNewWindowRequest(std::u16string_view target, NewWindowLimit& limit,
                            NewWindowLimit::Clock::time_point now) {
  if (limit.Allow(now)) OpenGuestLinkInBrowser(target);
  return true;
}

bool HandleNewWindowRequest(std::u16string_view target) {
  static NewWindowLimit& limit = *new NewWindowLimit;
  return HandleNewWindowRequest(target, limit, NewWindowLimit::Clock::now());
}

void RunPayAction() {
  const RunSettings& settings = Settings();
  OpenGuestLinkInBrowser(BuildPayAddress(GameHostBase(), settings.GameCode, settings.ServerID));
}

bool RunBindAction(const std::function<void()>& close_game_window) {
  if (!Platform<GuestLinkPlatform>().ask_bind_question()) return false;
  close_game_window();
  return true;
}

}  // namespace fernlite
