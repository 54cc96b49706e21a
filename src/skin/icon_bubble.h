// The speech bubble beside the launcher's desktop icon: where it stands, how it fades, grows
// and follows the icon, and its one button. The native window forwards its messages here and
// presents what this decides; the icon is found through a finder the platform supplies.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "skin/canvas.h"

namespace fernlite {

inline constexpr int kBubbleWidth = 207;
inline constexpr int kBubbleHeight = 75;
// Pointer on the left edge (the bubble stands right of the icon) and on the right edge.
inline constexpr uint16_t kBubblePointerLeftImage = 154;
inline constexpr uint16_t kBubblePointerRightImage = 156;
inline constexpr uint16_t kBubbleButtonNormalImage = 158;
inline constexpr uint16_t kBubbleButtonHoverImage = 157;
inline constexpr uint16_t kBubbleButtonPressedImage = 161;
inline constexpr int kBubbleButtonId = 2000;

inline constexpr int kBubbleFollowTimer = 100;
inline constexpr int kBubbleFadeOutTimer = 101;
inline constexpr int kBubbleRevealTimer = 102;
inline constexpr int kBubbleFadeInTimer = 103;
inline constexpr int kBubbleFollowMs = 700;
inline constexpr int kBubbleFadeInMs = 50;
inline constexpr int kBubbleRevealMs = 10;
// The fade-out after the button is quicker than the one after the icon vanished.
inline constexpr int kBubbleFadeOutAfterButtonMs = 50;
inline constexpr int kBubbleFadeOutAfterIconMs = 70;

struct BubblePlacement {
  int x = 0;
  int y = 0;
  bool on_right = true;
};

// Right of the icon, overlapping it by 10 pixels, unless fewer than 197 pixels of the screen's
// width remain there: then left of it. `screen_width` is the primary display's usable width.
BubblePlacement PlaceBubble(const Rect& icon, int screen_width);
// The button in bubble coordinates for a side.
Rect BubbleButtonRect(bool on_right);

enum class BubbleButtonState { kNormal, kHover, kPressed };

// What the native window does for the bubble.
class BubbleWindow {
 public:
  virtual ~BubbleWindow() = default;
  // Shows the top-left width × height of `picture` at the screen point with the opacity, and
  // keeps the window at the bottom of the z-order. 0 × 0 hides it.
  virtual void Present(const Image& picture, int x, int y, int width, int height,
                       uint8_t alpha) = 0;
  // Moves the (still transparent) window to its first place and shows it.
  virtual void Place(int x, int y) = 0;
  // Starts or restarts a repeating timer, and stops one.
  virtual void SetTimer(int id, int interval_ms) = 0;
  virtual void KillTimer(int id) = 0;
  virtual void SetHandCursor(bool hand) = 0;
  // Destroys the window; its loop ends with exit value 0.
  virtual void End() = 0;
};

// The desktop as the bubble sees it.
struct BubbleDesktop {
  // The icon's screen rectangle, or nullopt when it cannot be found.
  std::function<std::optional<Rect>()> find_icon;
  std::function<int()> screen_width;
};

class IconBubble {
 public:
  IconBubble(BubbleWindow& window, BubbleDesktop desktop);

  // The window exists. False when the icon is not there: the bubble has ended unseen.
  bool OnCreate();
  void OnTimer(int id);
  void OnMouseMove(int x, int y);
  void OnLButtonDown(int x, int y);
  void OnLButtonUp(int x, int y);
  void OnPaint() { Present(kBubbleWidth, kBubbleHeight); }
  // The window was moved (by the system or by Place).
  void OnMove(int x, int y);

  bool OnRight() const { return on_right_; }
  int X() const { return x_; }
  int Y() const { return y_; }
  uint8_t Alpha() const { return static_cast<uint8_t>(alpha_); }
  bool FadingOut() const { return fading_out_; }
  BubbleButtonState ButtonState() const { return button_state_; }
  const Rect& ButtonRect() const { return button_rect_; }
  // The bubble picture with the button in its current state.
  const Image& Picture() const { return picture_; }

 private:
  void Present(int width, int height);
  void Compose();
  void SetButtonState(BubbleButtonState state);
  void StartFadeOut(int interval_ms);

  BubbleWindow& window_;
  BubbleDesktop desktop_;
  Image pointer_left_, pointer_right_;
  Image button_images_[3];
  Image picture_;
  bool on_right_ = true;
  int x_ = 0, y_ = 0;
  int last_x_ = 0, last_y_ = 0;
  int alpha_ = 0;
  bool fading_out_ = false;
  bool armed_ = false;
  int reveal_width_ = 0, reveal_height_ = 0;
  Rect button_rect_;
  BubbleButtonState button_state_ = BubbleButtonState::kNormal;
};

}  // namespace fernlite
