// The game window: the game page in a browser filling a skinned frame, with a caption that
// greets the player and offers the pay or account-binding action.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/run_settings.h"

namespace fernlite {

class SkinFrame;

// Builds the game window from the request in Settings() (GameUrl, GameWindowTitle,
// GameWindowWidth/Height, StartMaximized, PlayerName) and runs it until it is closed.
// Returns kWindowClosed (app/startup.h) after it ran, kWindowNotCreated when no window could
// be made. When the browser cannot be created the player is told "创建游戏失败" and the
// window closes (kWindowClosed: the launcher comes back).
int RunGameWindowDialog();

// The player name the page hands over for a guest who has no account yet (case-sensitive).
inline constexpr std::u16string_view kGuestPlayerName = u"gst";
inline constexpr char16_t kGuestGreeting[] = u"游客,您好!";
inline constexpr char16_t kGameCreateFailedText[] = u"创建游戏失败";
inline constexpr char16_t kGameCreateFailedCaption[] = u"抱歉";

inline constexpr uint16_t kGreetingLabelImage = 155;
inline constexpr uint16_t kPayButtonImage = 166;
inline constexpr uint16_t kBindButtonImage = 168;
inline constexpr uint16_t kGameIconImage = 127;

// A maximised start first opens at this size, which restoring comes back to.
inline constexpr int kMaximizedRestoreWidth = 980;
inline constexpr int kMaximizedRestoreHeight = 600;

inline constexpr int kDefaultGameWidth = 600;
inline constexpr int kDefaultGameHeight = 400;

// The request as the window copies it when it is made; later changes to the run settings do
// not reach a window that exists.
struct GameWindowRequest {
  std::u16string player_name;
  std::u16string title;
  std::u16string url;
  std::int32_t start_maximized = 0;
  std::int32_t width = kDefaultGameWidth;
  std::int32_t height = kDefaultGameHeight;
};
GameWindowRequest RequestFromSettings(const RunSettings& settings);

bool IsGuestPlayer(std::u16string_view player_name);

// Outer size the window opens at (before a maximised start is maximised). A page picks the
// requested size, so it is kept sane: a width or height that is not positive takes the
// default, and nothing is larger than the work area (an empty work area limits nothing).
struct WindowSize {
  int width = 0;
  int height = 0;
};
WindowSize InitialWindowSize(const GameWindowRequest& request, WindowSize work_area);

// The caption items for the player: the binding button and the greeting for a guest, the pay
// button and the name label otherwise; images from the image cache.
void AddGameCaptionItems(SkinFrame& frame, int window_width, std::u16string_view player_name);

}  // namespace fernlite
