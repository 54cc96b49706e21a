#include "game/script_bridge.h"

#include <array>
#include <charconv>
#include <limits>

#include "app/run_settings.h"
#include "game/page_origin.h"
#include "game/standard_dialog.h"
#include "identity/user_data.h"
#include "platform/text.h"

namespace fernlite {

namespace {

using T = ScriptArgType;

constexpr std::array kNavigateArgs{T::kText, T::kFlag16, T::kInt32, T::kInt32, T::kText, T::kAny};
constexpr std::array kNavigateExArgs{T::kText,  T::kText, T::kFlag16, T::kInt32,
                                     T::kInt32, T::kText, T::kAny};
constexpr std::array kNavigate2Args{T::kText,  T::kText,  T::kText, T::kFlag16,
                                    T::kInt32, T::kInt32, T::kText, T::kAny};
constexpr std::array kOneText{T::kText};
constexpr std::array kTwoTexts{T::kText, T::kText};

const std::array<BridgeMethod, 9> kMethods{{
    {u"NavigateToGameUrl", kDispNavigateToGameUrl, 6, kNavigateArgs},
    {u"WriteUserDataToFile", kDispWriteUserDataToFile, 1, kOneText},
    {u"ReadUserDataFromFile", kDispReadUserDataFromFile, 0, {}},
    {u"GetChannelID", kDispGetChannelID, kAnyArgCount, {}},
    {u"SetUserInfo", kDispSetUserInfo, 2, kTwoTexts},
    {u"SetGuestInfo", kDispSetGuestInfo, 1, kOneText},
    {u"NavigateToGameUrlEx", kDispNavigateToGameUrlEx, 7, kNavigateExArgs},
    {u"NavigateToGameUrl2", kDispNavigateToGameUrl2, 8, kNavigate2Args},
    {u"addFavorite", kDispAddFavorite, kAnyArgCount, {}},
}};

LauncherWindowSink* g_launcher_window = nullptr;

// Whole decimal number with optional sign and surrounding blanks.
std::optional<std::int32_t> ParseInt32(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  std::string ascii;
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  if (!ascii.empty() && ascii.front() == '+') ascii.erase(0, 1);
  if (ascii.empty()) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (error != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

}  // namespace

std::span<const BridgeMethod> BridgeMethods() {
  return kMethods;
}

const BridgeMethod* FindBridgeMethod(std::u16string_view name) {
  for (const BridgeMethod& method : kMethods) {
    if (method.name == name) return &method;
  }
  return nullptr;
}

const BridgeMethod* FindBridgeMethod(std::int32_t dispid) {
  for (const BridgeMethod& method : kMethods) {
    if (method.dispid == dispid) return &method;
  }
  return nullptr;
}

std::int32_t LookupDispId(std::u16string_view name) {
  const BridgeMethod* method = FindBridgeMethod(name);
  return method ? method->dispid : kDispUnknown;
}

ScriptArgType ExpectedArgType(const BridgeMethod& method, std::size_t index, std::size_t count) {
  if (method.arg_count == kAnyArgCount || count != static_cast<std::size_t>(method.arg_count) ||
      index >= count) {
    return T::kAny;
  }
  return method.arg_types[count - 1 - index];
}

std::int32_t SignExtend16(std::int32_t value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

ValueArguments ValueArguments::FromCallOrder(std::vector<ScriptValue> values) {
  return ValueArguments(std::vector<ScriptValue>(values.rbegin(), values.rend()));
}

std::optional<std::u16string> ValueArguments::Text(std::size_t index) const {
  if (index >= values_.size()) return std::nullopt;
  const ScriptValue& value = values_[index];
  if (const auto* text = std::get_if<std::u16string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return ToU16(*number);
  return std::u16string();
}

std::optional<std::int32_t> ValueArguments::Int32(std::size_t index) const {
  if (index >= values_.size()) return std::nullopt;
  const ScriptValue& value = values_[index];
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (const auto* text = std::get_if<std::u16string>(&value)) return ParseInt32(*text);
  return 0;
}

void SetLauncherWindow(LauncherWindowSink* window) {
  g_launcher_window = window;
}
LauncherWindowSink* LauncherWindow() {
  return g_launcher_window;
}

ScriptBridge::ScriptBridge(RunSettings& settings) : settings_(settings) {}

BridgeResult ScriptBridge::Invoke(std::int32_t dispid, const ScriptArguments& args) {
  BridgeResult result;
  const BridgeMethod* method = FindBridgeMethod(dispid);
  if (!method || dispid == kDispGetChannelID) {
    result.status = BridgeStatus::kNotImplemented;
    return result;
  }
  if (dispid == kDispAddFavorite) return result;
  const std::size_t count = args.count();
  if (count != static_cast<std::size_t>(method->arg_count)) {
    result.status = BridgeStatus::kWrongCount;
    return result;
  }

  // Convert everything the method reads before changing anything.
  std::vector<ScriptValue> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<std::u16string> text;
    std::optional<std::int32_t> number;
    switch (ExpectedArgType(*method, i, count)) {
      case T::kAny: continue;
      case T::kText:
        text = args.Text(i);
        if (text) values[i] = std::move(*text);
        break;
      case T::kInt32:
        number = args.Int32(i);
        if (number) values[i] = *number;
        break;
      case T::kFlag16:
        number = args.Int32(i);
        if (number) values[i] = SignExtend16(*number);
        break;
    }
    if (!text && !number) {
      result.status = BridgeStatus::kTypeMismatch;
      result.bad_argument = i;
      return result;
    }
  }
  const auto text_at = [&values](std::size_t i) { return std::get<std::u16string>(values[i]); };

  switch (dispid) {
    case kDispNavigateToGameUrl:
    case kDispNavigateToGameUrlEx:
    case kDispNavigateToGameUrl2:
      // The game window shows web pages only: no local files, no script addresses.
      if (!IsWebAddress(text_at(5))) {
        result.status = BridgeStatus::kRefused;
        return result;
      }
      if (dispid == kDispNavigateToGameUrl2) settings_.ServerID = text_at(7);
      if (dispid != kDispNavigateToGameUrl) settings_.PlayerName = text_at(6);
      settings_.GameUrl = text_at(5);
      settings_.StartMaximized = std::get<std::int32_t>(values[4]);
      settings_.GameWindowWidth = std::get<std::int32_t>(values[3]);
      settings_.GameWindowHeight = std::get<std::int32_t>(values[2]);
      settings_.GameWindowTitle = text_at(1);
      // No launcher open (a game page asked): the request fields still hold for the next start.
      if (LauncherWindowSink* window = LauncherWindow()) window->OnStartGameRequest();
      break;
    case kDispWriteUserDataToFile:
      // The page is not told whether the write succeeded. A text too long for the guest entry
      // address would keep every later start from loading its page: refused, file untouched.
      if (!UserDataFitsEntryAddress(settings_, text_at(0))) break;
      WriteUserData(text_at(0));
      if (on_user_data_changed) on_user_data_changed();
      break;
    case kDispReadUserDataFromFile: result.text = ReadUserData(); break;
    case kDispSetUserInfo:
      settings_.Ext = text_at(1);
      settings_.UserInfo = text_at(0);
      break;
    case kDispSetGuestInfo: settings_.Ext = text_at(0); break;
    default: break;
  }
  return result;
}

namespace {

std::unique_ptr<ScriptBridge>& TheBridge() {
  static std::unique_ptr<ScriptBridge> bridge;
  return bridge;
}

}  // namespace

void AdoptScriptBridge(std::unique_ptr<ScriptBridge> bridge) {
  TheBridge() = std::move(bridge);
}

void DeleteScriptBridge() {
  TheBridge().reset();
}

ScriptBridge* ScriptBridgeObject() {
  return TheBridge().get();
}

}  // namespace fernlite
