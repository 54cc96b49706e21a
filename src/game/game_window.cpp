#include "game/game_window.h"

#include "skin/skin_frame.h"

namespace fernlite {

GameWindowRequest RequestFromSettings(const RunSettings& settings) {
  GameWindowRequest request;
  request.player_name = settings.PlayerName;
  request.title = settings.GameWindowTitle;
  request.url = settings.GameUrl;
  request.start_maximized = settings.StartMaximized;
  request.width = settings.GameWindowWidth;
  request.height = settings.GameWindowHeight;
  return request;
}

bool IsGuestPlayer(std::u16string_view player_name) {
  return player_name == kGuestPlayerName;
}

namespace {

int Clamped(int requested, int fallback, int limit) {
  const int value = requested > 0 ? requested : fallback;
  return limit > 0 && value > limit ? limit : value;
}

}  // namespace

WindowSize InitialWindowSize(const GameWindowRequest& request, WindowSize work_area) {
  const bool maximized = request.start_maximized != 0;
  return {Clamped(maximized ? kMaximizedRestoreWidth : request.width, kDefaultGameWidth,
                  work_area.width),
          Clamped(maximized ? kMaximizedRestoreHeight : request.height, kDefaultGameHeight,
                  work_area.height)};
}

void AddGameCaptionItems(SkinFrame& frame, int w, std::u16string_view player_name) {
  ImageCache& cache = ImageCache::Instance();
  const bool guest = IsGuestPlayer(player_name);
  frame.SetGuestLayout(guest);
  // Rectangles hold until the first resize lays the caption out again.
  if (guest) {
    frame.AddCaptionButton(RectXYWH(w - 70, 8, 100, 25), cache.Get(kBindButtonImage), 3,
                           kCaptionBindButton);
    frame.AddCaptionButton(RectXYWH(w - 210, 8, 140, 25), cache.Get(kGreetingLabelImage), 1,
                           kCaptionGreeting, kGuestGreeting);
  } else {
    frame.AddCaptionButton(RectXYWH(w - 50, 8, 80, 25), cache.Get(kPayButtonImage), 3,
                           kCaptionPayButton);
    frame.AddCaptionButton(RectXYWH(w - 190, 8, 140, 25), cache.Get(kGreetingLabelImage), 1,
                           kCaptionGreeting, std::u16string(player_name));
  }
}

}  // namespace fernlite
