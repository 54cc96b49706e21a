// window.external: the methods the platform's pages call. The dispatch (names, DISPIDs,
// argument counts and types, effects) lives here; the Windows IDispatch object and the
// WebKitGTK user script are thin adapters over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fernlite {

struct RunSettings;

// DISPIDs are part of the protocol with the pages.
inline constexpr std::int32_t kDispNavigateToGameUrl = 0x1000;
inline constexpr std::int32_t kDispWriteUserDataToFile = 0x1001;
inline constexpr std::int32_t kDispReadUserDataFromFile = 0x1002;
inline constexpr std::int32_t kDispGetChannelID = 0x1003;
inline constexpr std::int32_t kDispSetUserInfo = 0x1004;
inline constexpr std::int32_t kDispSetGuestInfo = 0x1005;
inline constexpr std::int32_t kDispNavigateToGameUrlEx = 0x1006;
inline constexpr std::int32_t kDispNavigateToGameUrl2 = 0x1007;
inline constexpr std::int32_t kDispAddFavorite = 0xFFFF;
inline constexpr std::int32_t kDispUnknown = -1;  // DISPID_UNKNOWN

// WM_USER + 1: the start-the-game message to the launcher window.
inline constexpr unsigned kStartGameMessage = 0x0401;

// What an argument is read as.
enum class ScriptArgType {
  kText,    // text
  kInt32,   // 32-bit integer
  kFlag16,  // low 16 bits of an integer, sign-extended
  kAny,     // not read
};

inline constexpr int kAnyArgCount = -1;

struct BridgeMethod {
  std::u16string_view name;
  std::int32_t dispid;
  int arg_count;  // kAnyArgCount: not checked
  // Argument types in script call order (the first one is the last array element).
  std::span<const ScriptArgType> arg_types;
};

// The nine methods, in DISPID order.
std::span<const BridgeMethod> BridgeMethods();
// Exact, case-sensitive name match; nullptr for anything else.
const BridgeMethod* FindBridgeMethod(std::u16string_view name);
const BridgeMethod* FindBridgeMethod(std::int32_t dispid);
// The DISPID of a name, kDispUnknown when it is not a method.
std::int32_t LookupDispId(std::u16string_view name);

// Type of the argument array element `index` (automation order: element 0 is the last script
// argument) of a call with `count` arguments; kAny outside the table.
ScriptArgType ExpectedArgType(const BridgeMethod& method, std::size_t index, std::size_t count);

// The 16-bit flags: low 16 bits, sign-extended (a script true, -1, and 1 are set; 65536 is not).
std::int32_t SignExtend16(std::int32_t value);

// Arguments of one call in automation order, converted on request to the type the table
// expects. A conversion that is impossible gives nullopt and the call fails as a type mismatch.
class ScriptArguments {
 public:
  virtual ~ScriptArguments() = default;
  virtual std::size_t count() const = 0;
  virtual std::optional<std::u16string> Text(std::size_t index) const = 0;
  virtual std::optional<std::int32_t> Int32(std::size_t index) const = 0;
};

// A portable argument value: nothing (undefined), an integer or a text.
using ScriptValue = std::variant<std::monostate, std::int32_t, std::u16string>;

// ScriptArguments over plain values. Conversion: a text from an integer is its decimal form,
// nothing is the empty text; an integer from a text must be a whole decimal number in range,
// nothing is 0.
class ValueArguments : public ScriptArguments {
 public:
  // In automation order (last script argument first).
  explicit ValueArguments(std::vector<ScriptValue> values) : values_(std::move(values)) {}
  // In script call order, as a page wrote them.
  static ValueArguments FromCallOrder(std::vector<ScriptValue> values);

  std::size_t count() const override { return values_.size(); }
  std::optional<std::u16string> Text(std::size_t index) const override;
  std::optional<std::int32_t> Int32(std::size_t index) const override;

 private:
  std::vector<ScriptValue> values_;
};

enum class BridgeStatus {
  kOk,
  kWrongCount,      // E_FAIL
  kNotImplemented,  // E_NOTIMPL: GetChannelID and unknown DISPIDs
  kTypeMismatch,    // DISP_E_TYPEMISMATCH
  kRefused,         // E_ACCESSDENIED: a caller or a value the program does not accept
};

struct BridgeResult {
  BridgeStatus status = BridgeStatus::kOk;
  std::optional<std::u16string> text;  // ReadUserDataFromFile's result
  std::size_t bad_argument = 0;        // array index of the argument that failed to convert
};

// The launcher window's side of the start-the-game request (WM_USER + 1). Answered
// synchronously: when it returns, the launcher has been told to close.
class LauncherWindowSink {
 public:
  virtual ~LauncherWindowSink() = default;
  virtual void OnStartGameRequest() = 0;
};

// The process-wide launcher window; set by the launcher dialog when it has initialised and
// left in place when it closes (the next dialog replaces it). May be null.
void SetLauncherWindow(LauncherWindowSink* window);
LauncherWindowSink* LauncherWindow();

// The dispatch of window.external. Values go into the run settings, the user data file (user
// data unit) and the start-the-game request to LauncherWindow(). Platform faces (the Windows
// IDispatch object, the WebKitGTK message handler) derive from it or call it.
class ScriptBridge {
 public:
  explicit ScriptBridge(RunSettings& settings);
  virtual ~ScriptBridge() = default;
  ScriptBridge(const ScriptBridge&) = delete;
  ScriptBridge& operator=(const ScriptBridge&) = delete;

  // Dispatches on the DISPID alone. Counts are checked first, then every argument the method
  // reads is converted; only then is anything changed.
  BridgeResult Invoke(std::int32_t dispid, const ScriptArguments& args);

  RunSettings& settings() { return settings_; }

  // Called after every handled write, so copies of the text can be refreshed.
  std::function<void()> on_user_data_changed;

 private:
  RunSettings& settings_;
};

// The one bridge of the process: made by start-up before any window, deleted after the last.
// Adopting a bridge replaces (and deletes) the earlier one.
void AdoptScriptBridge(std::unique_ptr<ScriptBridge> bridge);
void DeleteScriptBridge();
// Null while no bridge exists.
ScriptBridge* ScriptBridgeObject();

}  // namespace fernlite
