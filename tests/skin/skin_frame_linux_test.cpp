// Pure frame decisions; the file is Linux-only for now because the image and text drawing it
// links against exist only on that side so far.
#include "skin/skin_frame.h"

#include <gtest/gtest.h>

#include <memory>

namespace fernlite {
namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

std::unique_ptr<Image> Filled(int w, int h, uint32_t argb) {
  auto image = std::make_unique<Image>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image->Set(x, y, argb);
  return image;
}

// A strip whose frames are red, green and blue, so the drawn frame shows the state.
std::unique_ptr<Image> Strip(int frame_width, int height) {
  auto image = std::make_unique<Image>(frame_width * 3, height);
  const uint32_t colours[3] = {kRed, kGreen, kBlue};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < frame_width * 3; ++x) image->Set(x, y, colours[x / frame_width]);
  return image;
}

class Frame : public ::testing::Test {
 protected:
  Frame()
      : min_(Strip(22, 20)),
        max_(Strip(22, 20)),
        close_(Strip(22, 20)),
        frame_(nullptr, min_.get(), max_.get(), close_.get()) {}

  std::unique_ptr<Image> min_, max_, close_;
  SkinFrame frame_;
};

TEST_F(Frame, AttachAddsSystemButtonsByStyle) {
  frame_.AttachStyle({}, 600, nullptr);
  ASSERT_EQ(frame_.Buttons().size(), 3u);
  EXPECT_EQ(frame_.Button(kCloseButtonId)->rect, (Rect{565, 5, 585, 25}));
  EXPECT_EQ(frame_.Button(kCloseButtonId)->strip, close_.get());
  EXPECT_EQ(frame_.Button(kMaximizeButtonId)->strip, max_.get());
  EXPECT_EQ(frame_.Button(kMinimizeButtonId)->strip, min_.get());

  SkinFrame bare(nullptr, min_.get(), max_.get(), close_.get());
  bare.AttachStyle({false, false, false}, 600, nullptr);
  ASSERT_EQ(bare.Buttons().size(), 1u);
  EXPECT_EQ(bare.Button(kCloseButtonId)->disabled, 1);
  bare.LayoutButtons(600);
  EXPECT_EQ(bare.Button(kMaximizeButtonId), nullptr);
  EXPECT_EQ(bare.Button(kMinimizeButtonId), nullptr);

  SkinFrame only_max(nullptr, min_.get(), max_.get(), close_.get());
  only_max.AttachStyle({true, false, true}, 600, nullptr);
  EXPECT_EQ(only_max.Button(kMaximizeButtonId)->disabled, 0);
  EXPECT_EQ(only_max.Button(kMinimizeButtonId)->disabled, 1);
  EXPECT_EQ(only_max.Button(kCloseButtonId)->disabled, 0);
}

TEST_F(Frame, LayoutAnchorsButtonsToTheRightEdgeForBothCaptions) {
  frame_.AttachStyle({}, 600, nullptr);
  frame_.SetGuestLayout(true);
  for (int w : {400, 800, 1920}) {
    SCOPED_TRACE(w);
    frame_.LayoutButtons(w);
    EXPECT_EQ(frame_.Button(kCloseButtonId)->rect, (Rect{w - 30, 5, w - 10, 27}));
    EXPECT_EQ(frame_.Button(kMaximizeButtonId)->rect, (Rect{w - 52, 5, w - 32, 27}));
    EXPECT_EQ(frame_.Button(kMinimizeButtonId)->rect, (Rect{w - 74, 5, w - 54, 27}));
    EXPECT_EQ(frame_.Button(kCaptionBindButton)->rect, (Rect{w - 190, 5, w - 90, 30}));
    EXPECT_EQ(frame_.Button(kCaptionGreeting)->rect, (Rect{w - 340, 5, w - 200, 30}));
    EXPECT_EQ(frame_.Button(kCaptionPayButton), nullptr);
  }
  // A layout entry for a button nobody added is an empty one carrying its identifier.
  const CDUIButton* made = frame_.Button(kCaptionBindButton);
  EXPECT_EQ(made->strip, nullptr);
  EXPECT_TRUE(made->text.empty());
  EXPECT_EQ(made->command_id, kCaptionBindButton);

  SkinFrame named(nullptr, min_.get(), max_.get(), close_.get());
  named.AttachStyle({}, 600, nullptr);
  named.LayoutButtons(800);
  // Narrower top-up button with the same right edge; the label 20 pixels further right.
  EXPECT_EQ(named.Button(kCaptionPayButton)->rect, (Rect{630, 5, 710, 30}));
  EXPECT_EQ(named.Button(kCaptionGreeting)->rect, (Rect{480, 5, 620, 30}));
  EXPECT_EQ(named.Button(kCaptionBindButton), nullptr);
}

TEST_F(Frame, AddingReplacesTheEntryAndKeepsLayoutRectanglesOnResize) {
  frame_.AttachStyle({}, 800, nullptr);
  frame_.AddCaptionButton(Rect{1, 2, 3, 4}, close_.get(), 3, kCaptionGreeting, u"old");
  CDUIButton& label =
      frame_.AddCaptionButton(Rect{5, 6, 7, 8}, min_.get(), 1, kCaptionGreeting, u"new");
  label.hover = 1;
  EXPECT_EQ(frame_.Button(kCaptionGreeting)->text, u"new");
  frame_.LayoutButtons(800);
  const CDUIButton* laid = frame_.Button(kCaptionGreeting);
  EXPECT_EQ(laid->rect, (Rect{480, 5, 620, 30}));
  EXPECT_EQ(laid->text, u"new");  // only the rectangle changes
  EXPECT_EQ(laid->strip, min_.get());
}

TEST_F(Frame, HitTestingFollowsButtonsIconCaptionAndBorders) {
  const int w = 800, h = 500;
  frame_.AttachStyle({}, w, nullptr);
  frame_.SetGuestLayout(true);
  frame_.LayoutButtons(w);
  EXPECT_EQ(frame_.HitTest(w - 20, 10, w, h), FrameHit::kClose);
  EXPECT_EQ(frame_.HitTest(w - 40, 10, w, h), FrameHit::kMaximize);
  EXPECT_EQ(frame_.HitTest(w - 60, 10, w, h), FrameHit::kMinimize);
  EXPECT_EQ(frame_.HitTest(20, 20, w, h), FrameHit::kSysMenu);
  // The account buttons are not system buttons: the caption answers, the press is theirs.
  EXPECT_EQ(frame_.HitTestButton(w - 150, 15), kCaptionBindButton);
  EXPECT_EQ(frame_.HitTest(w - 150, 15, w, h), FrameHit::kCaption);
  EXPECT_EQ(frame_.HitTest(300, 20, w, h), FrameHit::kCaption);
  EXPECT_EQ(frame_.HitTest(w - 31, 30, w, h), FrameHit::kCaption);  // below the buttons
  EXPECT_EQ(frame_.HitTest(400, 300, w, h), FrameHit::kClient);
  EXPECT_EQ(frame_.HitTest(2, 300, w, h), FrameHit::kLeft);
  EXPECT_EQ(frame_.HitTest(w - 3, 300, w, h), FrameHit::kRight);
  EXPECT_EQ(frame_.HitTest(400, h - 1, w, h), FrameHit::kBottom);
  EXPECT_EQ(frame_.HitTest(400, 2, w, h), FrameHit::kTop);
  EXPECT_EQ(frame_.HitTest(1, 1, w, h), FrameHit::kTopLeft);
  EXPECT_EQ(frame_.HitTest(w - 1, h - 10, w, h), FrameHit::kBottomRight);
  EXPECT_EQ(frame_.HitTest(10, h - 1, w, h), FrameHit::kBottomLeft);
  EXPECT_EQ(frame_.HitTest(w - 1, 1, w, h), FrameHit::kTopRight);
  // Maximised: the borders size nothing, the top band still drags.
  EXPECT_EQ(frame_.HitTest(2, 300, w, h, true), FrameHit::kBorder);
  EXPECT_EQ(frame_.HitTest(400, 2, w, h, true), FrameHit::kCaption);
  EXPECT_EQ(frame_.HitTest(1, 1, w, h, true), FrameHit::kCaption);

  // Invisible buttons are not hit; the first in identifier order wins where they overlap.
  frame_.Button(kCloseButtonId)->visible = 0;
  EXPECT_EQ(frame_.HitTestButton(w - 20, 10), -1);
  frame_.AddCaptionButton(Rect{w - 60, 0, w, 30}, nullptr, 1, 150);
  EXPECT_EQ(frame_.HitTestButton(w - 40, 10), kMaximizeButtonId);
  EXPECT_EQ(frame_.HitTestButton(w - 20, 10), 150);
  EXPECT_TRUE(IsSizingHit(FrameHit::kBottomLeft));
  EXPECT_FALSE(IsSizingHit(FrameHit::kCaption));
}

TEST_F(Frame, PointerDrivesButtonStatesAndActions) {
  frame_.AttachStyle({}, 800, nullptr);
  frame_.LayoutButtons(800);
  CDUIButton* close = frame_.Button(kCloseButtonId);
  EXPECT_TRUE(frame_.PointerMoved(780, 10));
  EXPECT_EQ(frame_.HoverButtonId(), kCloseButtonId);
  EXPECT_EQ(close->hover, 1);
  EXPECT_FALSE(frame_.PointerMoved(781, 11));  // same button: nothing to redraw
  EXPECT_TRUE(frame_.PointerPressed(780, 10));
  EXPECT_EQ(close->FrameIndex(), 2);
  EXPECT_TRUE(frame_.PointerMoved(760, 10));  // onto maximise
  EXPECT_EQ(close->hover, 0);
  EXPECT_EQ(close->pressed, 0);
  EXPECT_EQ(frame_.Button(kMaximizeButtonId)->hover, 1);
  EXPECT_TRUE(frame_.PointerLeft());
  EXPECT_EQ(frame_.HoverButtonId(), -1);
  EXPECT_EQ(frame_.Button(kMaximizeButtonId)->hover, 0);

  EXPECT_FALSE(frame_.PointerPressed(300, 20));  // caption: the window drags
  EXPECT_EQ(frame_.PointerReleased(780, 10, false), ButtonAction::kClose);
  EXPECT_EQ(frame_.PointerReleased(760, 10, false), ButtonAction::kMaximize);
  EXPECT_EQ(frame_.PointerReleased(760, 10, true), ButtonAction::kRestore);
  EXPECT_EQ(frame_.PointerReleased(740, 10, false), ButtonAction::kMinimize);
  EXPECT_EQ(frame_.PointerReleased(300, 10, false), ButtonAction::kNone);

  // The frame's own buttons act on release even when disabled or never pressed.
  close->disabled = 1;
  EXPECT_EQ(frame_.PointerReleased(780, 10, false), ButtonAction::kClose);
  frame_.PointerMoved(780, 10);
  EXPECT_EQ(close->hover, 0);  // disabled buttons ignore entering
  frame_.PointerPressed(780, 10);
  EXPECT_EQ(close->pressed, 0);

  frame_.SetGuestLayout(true);
  frame_.LayoutButtons(800);
  EXPECT_EQ(frame_.PointerReleased(650, 15, false), ButtonAction::kBind);
  SkinFrame named(nullptr, min_.get(), max_.get(), close_.get());
  named.AttachStyle({}, 800, nullptr);
  named.LayoutButtons(800);
  EXPECT_EQ(named.PointerReleased(660, 15, false), ButtonAction::kPay);
}

TEST_F(Frame, GenericButtonsClickOnlyWhenEnabledAndPressed) {
  frame_.AttachStyle({}, 800, nullptr);
  CDUIButton& label = frame_.AddCaptionButton(Rect{100, 5, 200, 30}, nullptr, 1, kCaptionGreeting);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), ButtonAction::kNone);  // never pressed
  frame_.PointerPressed(150, 10);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), ButtonAction::kCommand);
  EXPECT_EQ(label.checked, 1);
  EXPECT_EQ(label.pressed, 0);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), ButtonAction::kNone);  // once per press
  frame_.PointerPressed(150, 10);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), ButtonAction::kCommand);
  EXPECT_EQ(label.checked, 0);
  label.disabled = 1;
  label.pressed = 1;
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), ButtonAction::kNone);
}

TEST_F(Frame, DoubleClickTogglesOnlyInTheCaptionBandOffButtons) {
  frame_.AttachStyle({}, 800, nullptr);
  frame_.LayoutButtons(800);
  EXPECT_TRUE(frame_.DoubleClicked(300, 0));
  EXPECT_TRUE(frame_.DoubleClicked(300, kCaptionHeight - 1));
  EXPECT_FALSE(frame_.DoubleClicked(300, kCaptionHeight));
  EXPECT_FALSE(frame_.DoubleClicked(780, 10));
  EXPECT_EQ(frame_.Button(kCloseButtonId)->pressed, 1);
}

TEST(ButtonRender, FrameFollowsStateAndFrameCount) {
  auto strip = Strip(10, 4);
  Image surface(40, 10);
  CDUIButton button(Rect{0, 0, 20, 8}, strip.get(), 3, 200, nullptr, {});
  button.Render(surface);
  EXPECT_EQ(surface.At(19, 7), kRed);
  EXPECT_EQ(surface.At(20, 7), 0u);  // nothing outside the rectangle
  button.hover = 1;
  button.Render(surface);
  EXPECT_EQ(surface.At(5, 5), kGreen);
  button.pressed = 1;
  button.Render(surface);
  EXPECT_EQ(surface.At(5, 5), kBlue);
  button.disabled = 1;  // only three frames: no disabled picture, pressed still shows
  EXPECT_EQ(button.FrameIndex(), 2);
  button.frame_count = 4;
  EXPECT_EQ(button.FrameIndex(), 3);
  button.frame_count = 1;  // a plain label: the whole strip, always
  button.Render(surface);
  EXPECT_EQ(button.FrameIndex(), 0);
  EXPECT_EQ(surface.At(0, 0), kRed);
  EXPECT_EQ(surface.At(19, 0), kBlue);
}

TEST(NinePart, GeometryForTheFrameImage) {
  const std::vector<FramePart> parts = NinePartFrame(800, 500, 594, 523);
  ASSERT_EQ(parts.size(), 8u);
  EXPECT_EQ(parts[0].destination, RectXYWH(0, 492, 800, 8));
  EXPECT_EQ(parts[0].source, RectXYWH(38, 515, 8, 8));
  EXPECT_EQ(parts[1].destination, RectXYWH(762, 462, 38, 38));
  EXPECT_EQ(parts[1].source, RectXYWH(556, 485, 38, 38));
  EXPECT_EQ(parts[3].destination, RectXYWH(0, 38, 8, 424));
  EXPECT_EQ(parts[4].destination, RectXYWH(792, 38, 8, 424));
  EXPECT_EQ(parts[4].source, RectXYWH(586, 38, 8, 8));
  EXPECT_EQ(parts[5].source, RectXYWH(50, 0, 5, 38));
  EXPECT_EQ(parts[7].destination, RectXYWH(750, 0, 50, 38));
  EXPECT_EQ(parts[7].source, RectXYWH(544, 0, 50, 38));
}

// A frame image whose regions each have their own colour shows where every part lands.
TEST(NinePart, PaintPlacesPartsAndLeavesTheClientAlone) {
  const int iw = 594, ih = 523;
  auto image = std::make_unique<Image>(iw, ih);
  for (int y = 0; y < ih; ++y)
    for (int x = 0; x < iw; ++x) {
      uint32_t c = 0xFF101010;
      if (y < kCaptionHeight)
        c = x < 50 ? 0xFF200000 : x >= iw - 50 ? 0xFF300000 : 0xFF400000;
      else if (y >= ih - kCaptionHeight && x < kCaptionHeight)
        c = 0xFF500000;
      else if (y >= ih - kCaptionHeight && x >= iw - kCaptionHeight)
        c = 0xFF600000;
      else if (x < kBorderWidth)
        c = 0xFF700000;
      else if (x >= iw - kBorderWidth)
        c = 0xFF800000;
      image->Set(x, y, c);
    }
  // The bottom edge's source sits right of the bottom-left corner's colour block.
  for (int y = ih - kBorderWidth; y < ih; ++y)
    for (int x = kCaptionHeight; x < kCaptionHeight + kBorderWidth; ++x)
      image->Set(x, y, 0xFF900000);
  SkinFrame frame(std::move(image), nullptr, nullptr, nullptr);
  Image surface;
  const int w = 700, h = 400;
  frame.Paint(surface, w, h, nullptr, u"");
  ASSERT_EQ(surface.Width(), w);
  ASSERT_EQ(surface.Height(), h);
  EXPECT_EQ(surface.At(10, 10), 0xFF200000u);      // caption left end
  EXPECT_EQ(surface.At(300, 10), 0xFF400000u);     // stretched caption band
  EXPECT_EQ(surface.At(w - 10, 10), 0xFF300000u);  // caption right end
  EXPECT_EQ(surface.At(3, 200), 0xFF700000u);      // left edge
  EXPECT_EQ(surface.At(w - 3, 200), 0xFF800000u);  // right edge
  EXPECT_EQ(surface.At(300, h - 3), 0xFF900000u);  // bottom edge
  EXPECT_EQ(surface.At(3, h - 3), 0xFF500000u);    // bottom-left corner over the edge
  EXPECT_EQ(surface.At(w - 3, h - 3), 0xFF600000u);
  EXPECT_EQ(surface.At(kBorderWidth, kCaptionHeight), 0u);  // client: untouched
  EXPECT_EQ(surface.At(w - kBorderWidth - 1, h - kBorderWidth - 1), 0u);
  EXPECT_NE(surface.At(w - kBorderWidth, h - kBorderWidth - 1), 0u);
}

TEST(NinePart, PaintDrawsIconAndSkipsButtonsOutsideTheClip) {
  SkinFrame frame(Filled(594, 523, 0xFF202020), nullptr, nullptr, nullptr);
  auto strip = Filled(30, 20, kGreen);
  frame.AddCaptionButton(Rect{500, 5, 530, 25}, strip.get(), 1, 120);
  auto icon = Filled(32, 32, kBlue);
  Image surface;
  frame.Paint(surface, 600, 300, icon.get(), u"", Rect{0, 0, 100, 38});
  EXPECT_EQ(surface.At(10, 8), kBlue);
  EXPECT_EQ(surface.At(25, 23), kBlue);
  EXPECT_EQ(surface.At(26, 8), 0xFF202020u);  // drawn at small-icon size
  EXPECT_EQ(surface.At(510, 10), 0xFF202020u);
  frame.Paint(surface, 600, 300, nullptr, u"", Rect{480, 0, 520, 38});
  EXPECT_EQ(surface.At(510, 10), kGreen);
  EXPECT_EQ(surface.At(10, 8), 0xFF202020u);
  frame.Paint(surface, 600, 300, nullptr, u"");  // no clip: everything
  EXPECT_EQ(surface.At(510, 10), kGreen);
}

TEST(RoundedOutline, CornersAreCutAndTheRestIsWhole) {
  const int w = 300, h = 200;
  const std::vector<RowSpan> rows = RoundedOutline(w, h);
  ASSERT_EQ(rows.size(), static_cast<size_t>(h));
  EXPECT_GT(rows[0].left, 0);
  EXPECT_LT(rows[0].right, w);
  EXPECT_EQ(rows[0].left, w - rows[0].right);  // symmetric
  EXPECT_EQ(rows[h - 1].left, rows[0].left);   // and top to bottom
  for (int y = 3; y < h - 3; ++y) {
    ASSERT_EQ(rows[static_cast<size_t>(y)].left, 0) << y;
    ASSERT_EQ(rows[static_cast<size_t>(y)].right, w) << y;
  }
  for (int y = 1; y < 3; ++y) EXPECT_LE(rows[static_cast<size_t>(y)].left, rows[0].left);
  EXPECT_EQ(RoundedRowSpan(w, h, -1).right, 0);
  EXPECT_EQ(RoundedRowSpan(w, h, h).right, 0);
  const RowSpan tiny = RoundedRowSpan(1, 1, 0);
  EXPECT_LE(tiny.left, tiny.right);
  EXPECT_EQ(RoundedOutline(0, 5).size(), 5u);
}

}  // namespace
}  // namespace fernlite
