#include "skin/icon_bubble.h"

#include <utility>

#include "skin/images.h"

namespace fernlite {
namespace {

constexpr int kOverlap = 10;
constexpr int kRoomNeeded = 197;
constexpr int kSideShift = 9;
// The reveal grows the visible part from the top-left corner in ten steps.
constexpr int kRevealSteps = 20;
constexpr int kRevealWidthStep = 414 / kRevealSteps;
constexpr int kRevealHeightStep = 150 / kRevealSteps;
constexpr int kAlphaStep = 30;

}  // namespace

BubblePlacement PlaceBubble(const Rect& icon, int screen_width) {
  // Wide math: a hostile rectangle must not overflow the comparison.
  if (static_cast<long long>(screen_width) < static_cast<long long>(icon.right) + kRoomNeeded) {
    return {SaturatedInt(static_cast<long long>(icon.left) - kRoomNeeded), icon.top, false};
  }
  return {SaturatedInt(static_cast<long long>(icon.right) - kOverlap), icon.top, true};
}

Rect BubbleButtonRect(bool on_right) {
  const int left = on_right ? 125 : 125 - kSideShift;
  return Rect{left, 35, left + 66, 59};
}

IconBubble::IconBubble(BubbleWindow& window, BubbleDesktop desktop)
    : window_(window), desktop_(std::move(desktop)) {}

bool IconBubble::OnCreate() {
  const std::optional<Rect> icon = desktop_.find_icon ? desktop_.find_icon() : std::nullopt;
  if (!icon) {
    window_.End();
    return false;
  }
  const BubblePlacement place = PlaceBubble(*icon, desktop_.screen_width());
  on_right_ = place.on_right;
  x_ = last_x_ = place.x;
  y_ = last_y_ = place.y;
  window_.Place(x_, y_);

  // Images that fail to load are simply not drawn.
  pointer_left_ = LoadProgramImage(kBubblePointerLeftImage, ImageType::Png);
  pointer_right_ = LoadProgramImage(kBubblePointerRightImage, ImageType::Png);
  button_images_[0] = LoadProgramImage(kBubbleButtonNormalImage, ImageType::Png);
  button_images_[1] = LoadProgramImage(kBubbleButtonHoverImage, ImageType::Png);
  button_images_[2] = LoadProgramImage(kBubbleButtonPressedImage, ImageType::Png);
  button_rect_ = BubbleButtonRect(on_right_);
  picture_ = Image::Surface(kBubbleWidth, kBubbleHeight);

  alpha_ = 0;
  Present(kBubbleWidth, kBubbleHeight);
  window_.SetTimer(kBubbleFollowTimer, kBubbleFollowMs);
  window_.SetTimer(kBubbleFadeInTimer, kBubbleFadeInMs);
  return true;
}

void IconBubble::Compose() {
  if (picture_.Empty()) return;
  // Whole each time: a state image with transparent parts must not show the one before it.
  Canvas canvas(picture_);
  canvas.Clear();
  const Image& bubble = on_right_ ? pointer_left_ : pointer_right_;
  if (!bubble.Empty()) canvas.CopyImage(bubble, Rect{0, 0, kBubbleWidth, kBubbleHeight});
  const Image& button = button_images_[static_cast<int>(button_state_)];
  if (!button.Empty()) canvas.DrawImage(button, button_rect_);
}

void IconBubble::Present(int width, int height) {
  Compose();
  window_.Present(picture_, x_, y_, width, height, static_cast<uint8_t>(alpha_));
}

void IconBubble::StartFadeOut(int interval_ms) {
  if (fading_out_) return;
  fading_out_ = true;
  alpha_ = 255;
  window_.KillTimer(kBubbleFollowTimer);
  // Nothing else may change the opacity or the size while it fades.
  window_.KillTimer(kBubbleFadeInTimer);
  window_.KillTimer(kBubbleRevealTimer);
  window_.SetTimer(kBubbleFadeOutTimer, interval_ms);
}

void IconBubble::OnTimer(int id) {
  switch (id) {
    case kBubbleFadeInTimer:
      alpha_ += kAlphaStep;
      if (alpha_ >= 255) {
        window_.KillTimer(kBubbleFadeInTimer);
        alpha_ = 255;
      }
      Present(kBubbleWidth, kBubbleHeight);
      break;
    case kBubbleFollowTimer: {
      const std::optional<Rect> icon = desktop_.find_icon();
      if (!icon) {
        StartFadeOut(kBubbleFadeOutAfterIconMs);
        break;
      }
      const BubblePlacement place = PlaceBubble(*icon, desktop_.screen_width());
      if (place.on_right != on_right_) {
        on_right_ = place.on_right;
        button_rect_ = BubbleButtonRect(on_right_);
      }
      if (place.x == last_x_ && place.y == last_y_) break;
      x_ = last_x_ = place.x;
      y_ = last_y_ = place.y;
      Present(0, 0);
      reveal_width_ = reveal_height_ = 0;
      window_.SetTimer(kBubbleRevealTimer, kBubbleRevealMs);
      break;
    }
    case kBubbleRevealTimer:
      reveal_width_ += kRevealWidthStep;
      reveal_height_ += kRevealHeightStep;
      if (reveal_width_ >= kBubbleWidth || reveal_height_ >= kBubbleHeight) {
        window_.KillTimer(kBubbleRevealTimer);
        reveal_width_ = reveal_height_ = 0;
        Present(kBubbleWidth, kBubbleHeight);
      } else {
        Present(reveal_width_, reveal_height_);
      }
      break;
    case kBubbleFadeOutTimer:
      alpha_ -= kAlphaStep;
      if (alpha_ > 0) {
        Present(kBubbleWidth, kBubbleHeight);
      } else {
        alpha_ = 0;
        window_.KillTimer(kBubbleFadeOutTimer);
        window_.End();
      }
      break;
    default: break;
  }
}

void IconBubble::SetButtonState(BubbleButtonState state) {
  if (state == button_state_) return;
  button_state_ = state;
  Present(kBubbleWidth, kBubbleHeight);
}

void IconBubble::OnMouseMove(int x, int y) {
  const bool over = button_rect_.Contains(x, y);
  window_.SetHandCursor(over);
  if (over) {
    if (button_state_ == BubbleButtonState::kNormal) SetButtonState(BubbleButtonState::kHover);
  } else {
    SetButtonState(BubbleButtonState::kNormal);
  }
}

void IconBubble::OnLButtonDown(int x, int y) {
  if (!button_rect_.Contains(x, y)) return;
  armed_ = true;
  if (button_state_ == BubbleButtonState::kHover) SetButtonState(BubbleButtonState::kPressed);
}

void IconBubble::OnLButtonUp(int x, int y) {
  if (button_state_ == BubbleButtonState::kPressed) SetButtonState(BubbleButtonState::kHover);
  // One press arms one release: a later press outside must not close through an old one.
  const bool armed = std::exchange(armed_, false);
  if (armed && button_rect_.Contains(x, y)) StartFadeOut(kBubbleFadeOutAfterButtonMs);
}

void IconBubble::OnMove(int x, int y) {
  if (x != 0 || y != 0) {
    x_ = x;
    y_ = y;
  }
}

}  // namespace fernlite
