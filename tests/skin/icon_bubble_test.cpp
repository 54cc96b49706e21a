// The desktop icon bubble without a window: a fake clock fires its timers and a fake desktop
// moves or removes the icon.
#include "skin/icon_bubble.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <optional>
#include <vector>

#include "skin_art.h"

namespace fernlite {
namespace {

struct Shown {
  int x, y, width, height;
  uint8_t alpha;
  bool operator==(const Shown&) const = default;
};

// The native window and its timers on a virtual clock.
class FakeBubbleWindow : public BubbleWindow {
 public:
  void Present(const Image& picture, int x, int y, int width, int height, uint8_t alpha) override {
    shown.push_back({x, y, width, height, alpha});
    last_picture = picture.ReadPixels();
  }
  void Place(int x, int y) override { placed = {x, y}; }
  void SetTimer(int id, int interval_ms) override { timers[id] = {interval_ms, now + interval_ms}; }
  void KillTimer(int id) override { timers.erase(id); }
  void SetHandCursor(bool hand) override { hand_cursor = hand; }
  void End() override {
    ++ended;
    timers.clear();
  }

  // Runs the clock forward, firing each timer when it is due.
  void Advance(IconBubble& bubble, int ms) {
    for (const int end = now + ms; now < end;) {
      ++now;
      for (bool fired = true; fired;) {
        fired = false;
        for (auto& [id, timer] : timers) {
          if (timer.due > now) continue;
          timer.due += timer.interval;
          bubble.OnTimer(id);  // may change the timers: look again from the start
          fired = true;
          break;
        }
      }
    }
  }
  bool Running(int id) const { return timers.count(id) != 0; }
  int Interval(int id) const { return timers.at(id).interval; }

  struct Timer {
    int interval;
    int due;
  };
  int now = 0;
  std::map<int, Timer> timers;
  std::vector<Shown> shown;
  ImagePixels last_picture;
  std::optional<std::pair<int, int>> placed;
  bool hand_cursor = false;
  int ended = 0;
};

constexpr int kScreen = 1280;

class IconBubbleTest : public ::testing::Test {
 protected:
  BubbleDesktop Desktop() {
    return {[this] { return icon_; }, [] { return kScreen; }};
  }
  // A created bubble whose fade-in has finished.
  void CreateShown() {
    ASSERT_TRUE(bubble_.OnCreate());
    window_.Advance(bubble_, 9 * kBubbleFadeInMs);
    ASSERT_EQ(bubble_.Alpha(), 255);
    window_.shown.clear();
  }
  // Wherever the two bubble pictures differ (the button aside), the picture shows `id`.
  static ::testing::AssertionResult ShowsBubble(const ImagePixels& picture, uint16_t id,
                                                uint16_t other) {
    const ImagePixels want = test::ArtImage(id, ImageType::Png).ReadPixels();
    const ImagePixels not_want = test::ArtImage(other, ImageType::Png).ReadPixels();
    int compared = 0;
    for (int y = 0; y < kBubbleHeight; ++y) {
      for (int x = 0; x < kBubbleWidth; ++x) {
        if ((y >= 35 && y < 59 && x >= 116 && x < 191) || want.At(x, y) == not_want.At(x, y))
          continue;
        ++compared;
        if (!test::PixelNear(picture.At(x, y), want.At(x, y), 2))
          return ::testing::AssertionFailure() << "pixel " << x << "," << y << " of " << id;
      }
    }
    if (compared < 20) return ::testing::AssertionFailure() << "the pictures barely differ";
    return ::testing::AssertionSuccess();
  }
  // The picture's pixel at (x, y) equals the art image's pixel at (ax, ay).
  static ::testing::AssertionResult ShowsArt(const ImagePixels& picture, int x, int y, uint16_t id,
                                             int ax, int ay) {
    const ImagePixels art = test::ArtImage(id, ImageType::Png).ReadPixels();
    if (test::PixelNear(picture.At(x, y), art.At(ax, ay), 2)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << picture.At(x, y) << " vs art "
                                         << art.At(ax, ay) << " of image " << std::dec << id;
  }

  test::ScopedArtResources art_;
  std::optional<Rect> icon_ = Rect{100, 200, 175, 275};
  FakeBubbleWindow window_;
  IconBubble bubble_{window_, Desktop()};
};

// The checks below tell pictures apart by these pixels.
TEST(BubbleArt, ThePixelsTheTestsLookAtDifferBetweenThePictures) {
  test::ScopedArtResources art;
  auto at = [](uint16_t id, int x, int y) {
    return test::ArtImage(id, ImageType::Png).ReadPixels().At(x, y);
  };
  EXPECT_NE(at(kBubbleButtonNormalImage, 33, 12), at(kBubbleButtonHoverImage, 33, 12));
  EXPECT_NE(at(kBubbleButtonHoverImage, 33, 12), at(kBubbleButtonPressedImage, 33, 12));
  EXPECT_NE(at(kBubbleButtonNormalImage, 33, 12), at(kBubbleButtonPressedImage, 33, 12));
}

TEST(BubblePlacement, RightOfTheIconUnlessTheScreenEndsWithin197Pixels) {
  const Rect icon{1000, 40, 1083, 120};
  EXPECT_EQ(PlaceBubble(icon, 1280).x, 1073);
  EXPECT_TRUE(PlaceBubble(icon, 1280).on_right);
  EXPECT_EQ(PlaceBubble(icon, 1280).y, 40);
  EXPECT_TRUE(PlaceBubble(icon, 1083 + 197).on_right);  // exactly enough room
  const BubblePlacement left = PlaceBubble(icon, 1083 + 196);
  EXPECT_FALSE(left.on_right);
  EXPECT_EQ(left.x, 1000 - 197);
  EXPECT_EQ(left.y, 40);
  // Rectangles at the ends of the range neither wrap nor abort.
  const BubblePlacement far = PlaceBubble(Rect{INT_MIN, 0, INT_MAX, 10}, 1280);
  EXPECT_FALSE(far.on_right);
  EXPECT_EQ(far.x, INT_MIN);

  EXPECT_EQ(BubbleButtonRect(true), (Rect{125, 35, 191, 59}));
  EXPECT_EQ(BubbleButtonRect(false), (Rect{116, 35, 182, 59}));
}

TEST_F(IconBubbleTest, NoIconEndsTheBubbleBeforeItIsSeen) {
  icon_.reset();
  EXPECT_FALSE(bubble_.OnCreate());
  EXPECT_EQ(window_.ended, 1);
  EXPECT_FALSE(window_.placed.has_value());
  EXPECT_TRUE(window_.shown.empty());
  EXPECT_TRUE(window_.timers.empty());
}

TEST_F(IconBubbleTest, FadesInFromTransparentInThirtiesAndThenHolds) {
  ASSERT_TRUE(bubble_.OnCreate());
  ASSERT_EQ(window_.placed, (std::pair{165, 200}));
  EXPECT_EQ(window_.Interval(kBubbleFollowTimer), 700);
  EXPECT_EQ(window_.Interval(kBubbleFadeInTimer), 50);
  std::vector<int> alphas;
  for (const Shown& shown : window_.shown) alphas.push_back(shown.alpha);
  for (int tick = 0; tick < 10; ++tick) {
    window_.Advance(bubble_, 50);
    alphas.push_back(bubble_.Alpha());
  }
  EXPECT_EQ(alphas, (std::vector<int>{0, 30, 60, 90, 120, 150, 180, 210, 240, 255, 255}));
  EXPECT_FALSE(window_.Running(kBubbleFadeInTimer));
  for (const Shown& shown : window_.shown) {
    EXPECT_EQ(shown.width, kBubbleWidth);
    EXPECT_EQ(shown.height, kBubbleHeight);
  }
  // Pointer on the left, the button in its normal state at x 125.
  EXPECT_TRUE(ShowsBubble(window_.last_picture, kBubblePointerLeftImage, kBubblePointerRightImage));
  EXPECT_TRUE(ShowsArt(window_.last_picture, 125 + 33, 35 + 12, kBubbleButtonNormalImage, 33, 12));
}

TEST_F(IconBubbleTest, FollowsAMovedIconByVanishingAndGrowingFromItsCorner) {
  CreateShown();
  window_.Advance(bubble_, 700 - 9 * 50);  // a follow tick with the icon in place
  EXPECT_TRUE(window_.shown.empty());

  icon_ = Rect{300, 400, 375, 475};
  window_.Advance(bubble_, 700);  // the next follow tick, at its end
  ASSERT_EQ(window_.shown.size(), 1u);
  window_.Advance(bubble_, 11 * 10);
  ASSERT_EQ(window_.shown.size(), 12u);
  EXPECT_EQ(window_.shown[0], (Shown{365, 400, 0, 0, 255}));
  for (int step = 1; step <= 10; ++step) {
    EXPECT_EQ(window_.shown[static_cast<size_t>(step)], (Shown{365, 400, 20 * step, 7 * step, 255}))
        << step;
  }
  EXPECT_EQ(window_.shown[11], (Shown{365, 400, 207, 75, 255}));
  EXPECT_FALSE(window_.Running(kBubbleRevealTimer));
  EXPECT_TRUE(bubble_.OnRight());

  // Next to the right edge it changes sides: the other picture, the button 9 pixels left.
  window_.shown.clear();
  icon_ = Rect{1150, 400, 1225, 475};
  window_.Advance(bubble_, 700 + 11 * 10);
  EXPECT_FALSE(bubble_.OnRight());
  EXPECT_EQ(bubble_.X(), 1150 - 197);
  EXPECT_EQ(bubble_.ButtonRect().left, 116);
  EXPECT_TRUE(ShowsBubble(window_.last_picture, kBubblePointerRightImage, kBubblePointerLeftImage));
  EXPECT_TRUE(ShowsArt(window_.last_picture, 116 + 33, 47, kBubbleButtonNormalImage, 33, 12));
  // And back.
  icon_ = Rect{300, 400, 375, 475};
  window_.Advance(bubble_, 700 + 11 * 10);
  EXPECT_TRUE(bubble_.OnRight());
  EXPECT_EQ(bubble_.ButtonRect().left, 125);
}

TEST_F(IconBubbleTest, AVanishedIconFadesTheBubbleOutOnceAndEndsIt) {
  CreateShown();
  icon_.reset();
  window_.Advance(bubble_, 700 - 9 * 50);  // the first follow tick, at its end
  ASSERT_TRUE(bubble_.FadingOut());
  EXPECT_FALSE(window_.Running(kBubbleFollowTimer));
  EXPECT_EQ(window_.Interval(kBubbleFadeOutTimer), 70);
  std::vector<int> alphas;
  for (int tick = 0; tick < 9 && !window_.ended; ++tick) {
    window_.Advance(bubble_, 70);
    alphas.push_back(bubble_.Alpha());
  }
  EXPECT_EQ(alphas, (std::vector<int>{225, 195, 165, 135, 105, 75, 45, 15, 0}));
  EXPECT_EQ(window_.ended, 1);
  EXPECT_TRUE(window_.timers.empty());
}

TEST_F(IconBubbleTest, AButtonPressCutShortTheFadeInAndTheFollowing) {
  ASSERT_TRUE(bubble_.OnCreate());
  window_.Advance(bubble_, 100);  // still fading in
  bubble_.OnMouseMove(150, 40);
  bubble_.OnLButtonDown(150, 40);
  bubble_.OnLButtonUp(150, 40);
  ASSERT_TRUE(bubble_.FadingOut());
  EXPECT_EQ(bubble_.Alpha(), 255);
  EXPECT_FALSE(window_.Running(kBubbleFadeInTimer));
  EXPECT_EQ(window_.Interval(kBubbleFadeOutTimer), 50);
  window_.Advance(bubble_, 9 * 50);
  EXPECT_EQ(window_.ended, 1);
}

TEST_F(IconBubbleTest, OnlyAPressAndAReleaseOnTheButtonClose) {
  CreateShown();
  // Outside the button: arrow, nothing armed.
  bubble_.OnMouseMove(20, 20);
  EXPECT_FALSE(window_.hand_cursor);
  bubble_.OnLButtonDown(20, 20);
  bubble_.OnLButtonUp(20, 20);
  EXPECT_FALSE(bubble_.FadingOut());

  // Pressed outside, released on the button: still nothing.
  bubble_.OnLButtonDown(20, 20);
  bubble_.OnMouseMove(150, 40);
  EXPECT_TRUE(window_.hand_cursor);
  EXPECT_EQ(bubble_.ButtonState(), BubbleButtonState::kHover);
  bubble_.OnLButtonUp(150, 40);
  EXPECT_FALSE(bubble_.FadingOut());

  // Pressed on it, dragged away and back, released on it: closes.
  bubble_.OnLButtonDown(150, 40);
  EXPECT_EQ(bubble_.ButtonState(), BubbleButtonState::kPressed);
  EXPECT_TRUE(ShowsArt(window_.last_picture, 158, 47, kBubbleButtonPressedImage, 33, 12));
  bubble_.OnMouseMove(20, 20);
  EXPECT_EQ(bubble_.ButtonState(), BubbleButtonState::kNormal);
  EXPECT_FALSE(window_.hand_cursor);
  bubble_.OnMouseMove(150, 40);
  EXPECT_EQ(bubble_.ButtonState(), BubbleButtonState::kHover);
  EXPECT_TRUE(ShowsArt(window_.last_picture, 158, 47, kBubbleButtonHoverImage, 33, 12));
  bubble_.OnLButtonUp(150, 40);
  EXPECT_TRUE(bubble_.FadingOut());

  // Pressed on it and released outside it does not close.
  IconBubble other(window_, Desktop());
  ASSERT_TRUE(other.OnCreate());
  other.OnMouseMove(150, 40);
  other.OnLButtonDown(150, 40);
  other.OnLButtonUp(20, 20);
  EXPECT_FALSE(other.FadingOut());
}

}  // namespace
}  // namespace fernlite
