// The skinned frame's decisions (geometry, hit-testing, button states, layout, the rounded
// outline) and its painting on the build's drawing library.
#include "skin/skin_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "fakes/web_engine_leaks.h"
#include "skin_art.h"

namespace fernlite {
namespace {

using test::Filled;

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// A strip whose frames are red, green and blue, so the drawn frame shows the state.
Image Strip(int frame_width, int height) {
  return test::Strip(frame_width, height, {kRed, kGreen, kBlue});
}

class Frame : public ::testing::Test {
 protected:
  Frame()
      : min_(Strip(22, 20)),
        max_(Strip(22, 20)),
        close_(Strip(22, 20)),
        frame_(Image(), &min_, &max_, &close_) {}

  Image min_, max_, close_;
  SkinFrame frame_;
};

TEST_F(Frame, AttachAddsSystemButtonsByStyle) {
  frame_.AttachStyle({}, 600, nullptr);
  ASSERT_EQ(frame_.Buttons().size(), 3u);
  EXPECT_EQ(frame_.Button(kCaptionCloseButton)->rect, (Rect{565, 5, 585, 25}));
  EXPECT_EQ(frame_.Button(kCaptionCloseButton)->strip, &close_);
  EXPECT_EQ(frame_.Button(kCaptionMaximizeButton)->strip, &max_);
  EXPECT_EQ(frame_.Button(kCaptionMinimizeButton)->strip, &min_);

  SkinFrame bare(Image(), &min_, &max_, &close_);
  bare.AttachStyle({false, false, false}, 600, nullptr);
  ASSERT_EQ(bare.Buttons().size(), 1u);
  EXPECT_EQ(bare.Button(kCaptionCloseButton)->disabled, 1);
  bare.LayoutButtons(600);
  EXPECT_EQ(bare.Button(kCaptionMaximizeButton), nullptr);
  EXPECT_EQ(bare.Button(kCaptionMinimizeButton), nullptr);

  SkinFrame only_max(Image(), &min_, &max_, &close_);
  only_max.AttachStyle({true, false, true}, 600, nullptr);
  EXPECT_EQ(only_max.Button(kCaptionMaximizeButton)->disabled, 0);
  EXPECT_EQ(only_max.Button(kCaptionMinimizeButton)->disabled, 1);
  EXPECT_EQ(only_max.Button(kCaptionCloseButton)->disabled, 0);
}

TEST_F(Frame, LayoutAnchorsButtonsToTheRightEdgeForBothCaptions) {
  frame_.AttachStyle({}, 600, nullptr);
  frame_.SetGuestLayout(true);
  for (int w : {400, 800, 1920}) {
    SCOPED_TRACE(w);
    frame_.LayoutButtons(w);
    EXPECT_EQ(frame_.Button(kCaptionCloseButton)->rect, (Rect{w - 30, 5, w - 10, 27}));
    EXPECT_EQ(frame_.Button(kCaptionMaximizeButton)->rect, (Rect{w - 52, 5, w - 32, 27}));
    EXPECT_EQ(frame_.Button(kCaptionMinimizeButton)->rect, (Rect{w - 74, 5, w - 54, 27}));
    EXPECT_EQ(frame_.Button(kCaptionBindButton)->rect, (Rect{w - 190, 5, w - 90, 30}));
    EXPECT_EQ(frame_.Button(kCaptionGreeting)->rect, (Rect{w - 340, 5, w - 200, 30}));
    EXPECT_EQ(frame_.Button(kCaptionPayButton), nullptr);
  }
  // A layout entry for a button nobody added is an empty one carrying its identifier.
  const CDUIButton* made = frame_.Button(kCaptionBindButton);
  EXPECT_EQ(made->strip, nullptr);
  EXPECT_TRUE(made->text.empty());
  EXPECT_EQ(made->command_id, kCaptionBindButton);

  SkinFrame named(Image(), &min_, &max_, &close_);
  named.AttachStyle({}, 600, nullptr);
  named.LayoutButtons(800);
  // Narrower top-up button with the same right edge; the label 20 pixels further right.
  EXPECT_EQ(named.Button(kCaptionPayButton)->rect, (Rect{630, 5, 710, 30}));
  EXPECT_EQ(named.Button(kCaptionGreeting)->rect, (Rect{480, 5, 620, 30}));
  EXPECT_EQ(named.Button(kCaptionBindButton), nullptr);
}

TEST_F(Frame, AddingReplacesTheEntryAndKeepsLayoutRectanglesOnResize) {
  frame_.AttachStyle({}, 800, nullptr);
  frame_.AddCaptionButton(Rect{1, 2, 3, 4}, &close_, 3, kCaptionGreeting, u"old");
  CDUIButton& label = frame_.AddCaptionButton(Rect{5, 6, 7, 8}, &min_, 1, kCaptionGreeting, u"new");
  label.hover = 1;
  EXPECT_EQ(frame_.Button(kCaptionGreeting)->text, u"new");
  frame_.LayoutButtons(800);
  const CDUIButton* laid = frame_.Button(kCaptionGreeting);
  EXPECT_EQ(laid->rect, (Rect{480, 5, 620, 30}));
  EXPECT_EQ(laid->text, u"new");  // only the rectangle changes
  EXPECT_EQ(laid->strip, &min_);
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
  // The caption's own answers alone: where the sizing frame or the account items are, the
  // window decides.
  EXPECT_EQ(frame_.CaptionHitTest(w - 20, 10, w), FrameHit::kClose);
  EXPECT_EQ(frame_.CaptionHitTest(20, 20, w), FrameHit::kSysMenu);
  EXPECT_EQ(frame_.CaptionHitTest(w - kBorderWidth, kCaptionHeight, w), FrameHit::kCaption);
  EXPECT_EQ(frame_.CaptionHitTest(w - kBorderWidth + 1, 20, w), std::nullopt);
  EXPECT_EQ(frame_.CaptionHitTest(w - 31, kCaptionHeight + 1, w), std::nullopt);
  EXPECT_EQ(frame_.CaptionHitTest(w - 150, 15, w), std::nullopt);
  EXPECT_EQ(frame_.CaptionHitTest(300, 20, w), std::nullopt);
  // Maximised: the borders size nothing, the top band still drags.
  EXPECT_EQ(frame_.HitTest(2, 300, w, h, true), FrameHit::kBorder);
  EXPECT_EQ(frame_.HitTest(400, 2, w, h, true), FrameHit::kCaption);
  EXPECT_EQ(frame_.HitTest(1, 1, w, h, true), FrameHit::kCaption);

  // Invisible buttons are not hit; the first in identifier order wins where they overlap.
  frame_.Button(kCaptionCloseButton)->visible = 0;
  EXPECT_EQ(frame_.HitTestButton(w - 20, 10), -1);
  frame_.AddCaptionButton(Rect{w - 60, 0, w, 30}, nullptr, 1, 150);
  EXPECT_EQ(frame_.HitTestButton(w - 40, 10), kCaptionMaximizeButton);
  EXPECT_EQ(frame_.HitTestButton(w - 20, 10), 150);
  EXPECT_TRUE(IsSizingHit(FrameHit::kBottomLeft));
  EXPECT_FALSE(IsSizingHit(FrameHit::kCaption));
}

TEST_F(Frame, PointerDrivesButtonStatesAndActions) {
  frame_.AttachStyle({}, 800, nullptr);
  frame_.LayoutButtons(800);
  CDUIButton* close = frame_.Button(kCaptionCloseButton);
  EXPECT_TRUE(frame_.PointerMoved(780, 10));
  EXPECT_EQ(frame_.HoverButtonId(), kCaptionCloseButton);
  EXPECT_EQ(close->hover, 1);
  EXPECT_FALSE(frame_.PointerMoved(781, 11));  // same button: nothing to redraw
  EXPECT_TRUE(frame_.PointerPressed(780, 10));
  EXPECT_EQ(close->FrameIndex(), 2);
  EXPECT_TRUE(frame_.PointerMoved(760, 10));  // onto maximise
  EXPECT_EQ(close->hover, 0);
  EXPECT_EQ(close->pressed, 0);
  EXPECT_EQ(frame_.Button(kCaptionMaximizeButton)->hover, 1);
  EXPECT_TRUE(frame_.PointerLeft());
  EXPECT_EQ(frame_.HoverButtonId(), -1);
  EXPECT_EQ(frame_.Button(kCaptionMaximizeButton)->hover, 0);

  EXPECT_FALSE(frame_.PointerPressed(300, 20));  // caption: the window drags
  EXPECT_EQ(frame_.PointerReleased(780, 10, false), CaptionAction::kClose);
  EXPECT_EQ(frame_.PointerReleased(760, 10, false), CaptionAction::kMaximize);
  EXPECT_EQ(frame_.PointerReleased(760, 10, true), CaptionAction::kRestore);
  EXPECT_EQ(frame_.PointerReleased(740, 10, false), CaptionAction::kMinimize);
  EXPECT_EQ(frame_.PointerReleased(300, 10, false), CaptionAction::kNone);

  // The frame's own buttons act on release even when disabled or never pressed.
  close->disabled = 1;
  EXPECT_EQ(frame_.PointerReleased(780, 10, false), CaptionAction::kClose);
  frame_.PointerMoved(780, 10);
  EXPECT_EQ(close->hover, 0);  // disabled buttons ignore entering
  frame_.PointerPressed(780, 10);
  EXPECT_EQ(close->pressed, 0);

  frame_.SetGuestLayout(true);
  frame_.LayoutButtons(800);
  EXPECT_EQ(frame_.PointerReleased(650, 15, false), CaptionAction::kBind);
  SkinFrame named(Image(), &min_, &max_, &close_);
  named.AttachStyle({}, 800, nullptr);
  named.LayoutButtons(800);
  EXPECT_EQ(named.PointerReleased(660, 15, false), CaptionAction::kPay);
}

TEST_F(Frame, GenericButtonsClickOnlyWhenEnabledAndPressed) {
  frame_.AttachStyle({}, 800, nullptr);
  CDUIButton& label = frame_.AddCaptionButton(Rect{100, 5, 200, 30}, nullptr, 1, kCaptionGreeting);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), CaptionAction::kNone);  // never pressed
  frame_.PointerPressed(150, 10);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), CaptionAction::kCommand);
  EXPECT_EQ(label.checked, 1);
  EXPECT_EQ(label.pressed, 0);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), CaptionAction::kNone);  // once per press
  frame_.PointerPressed(150, 10);
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), CaptionAction::kCommand);
  EXPECT_EQ(label.checked, 0);
  label.disabled = 1;
  label.pressed = 1;
  EXPECT_EQ(frame_.PointerReleased(150, 10, false), CaptionAction::kNone);
}

TEST_F(Frame, DoubleClickTogglesOnlyInTheCaptionBandOffButtons) {
  frame_.AttachStyle({}, 800, nullptr);
  frame_.LayoutButtons(800);
  EXPECT_TRUE(frame_.DoubleClicked(300, 0));
  EXPECT_TRUE(frame_.DoubleClicked(300, kCaptionHeight - 1));
  EXPECT_FALSE(frame_.DoubleClicked(300, kCaptionHeight));
  EXPECT_FALSE(frame_.DoubleClicked(780, 10));
  EXPECT_EQ(frame_.Button(kCaptionCloseButton)->pressed, 1);
}

// The button drawn alone on a fresh surface.
ImagePixels Rendered(const CDUIButton& button, int w = 40, int h = 10) {
  Image surface = Image::Surface(w, h);
  {
    Canvas canvas(surface);
    button.Render(canvas);
  }
  return surface.ReadPixels();
}

TEST(ButtonRender, FrameFollowsStateAndFrameCount) {
  const Image strip = Strip(10, 4);
  CDUIButton button(Rect{0, 0, 20, 8}, &strip, 3, 200, nullptr, {});
  struct Case {
    int hover, pressed, disabled, frame_count;
    int frame;
    uint32_t at_5_5;
  };
  const Case cases[] = {
      {0, 0, 0, 3, 0, kRed},
      {1, 0, 0, 3, 1, kGreen},
      {1, 1, 0, 3, 2, kBlue},
      {0, 1, 0, 3, 2, kBlue},
      // Only three frames: no disabled picture, pressed still shows.
      {1, 1, 1, 3, 2, kBlue},
      {0, 0, 1, 3, 0, kRed},
      {0, 0, 0, 2, 0, 0},
      {1, 1, 0, 2, 1, 0},  // two frames: pressed shows the hover frame
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hover << c.pressed << c.disabled << c.frame_count);
    button.hover = c.hover;
    button.pressed = c.pressed;
    button.disabled = c.disabled;
    button.frame_count = c.frame_count;
    EXPECT_EQ(button.FrameIndex(), c.frame);
    if (c.at_5_5) {
      const ImagePixels pixels = Rendered(button);
      EXPECT_EQ(pixels.At(5, 5), c.at_5_5);
      EXPECT_EQ(pixels.At(19, 7), c.at_5_5);
      EXPECT_EQ(pixels.At(20, 7), 0u);  // nothing outside the rectangle
    }
  }
  button.disabled = 1;
  button.frame_count = 4;
  EXPECT_EQ(button.FrameIndex(), 3);
  button.frame_count = 1;  // a plain label: the whole strip, always
  EXPECT_EQ(button.FrameIndex(), 0);
  const ImagePixels whole = Rendered(button);
  EXPECT_EQ(whole.At(0, 0), kRed);
  EXPECT_EQ(whole.At(19, 0), kBlue);
}

// Text pixels of a caption label: how many are (near) white and how many (near) grey.
struct TextColours {
  int white = 0;
  int grey = 0;
  int leftmost = 1 << 20;
};

TextColours ColoursOf(const ImagePixels& pixels) {
  TextColours colours;
  for (int y = 0; y < pixels.height; ++y)
    for (int x = 0; x < pixels.width; ++x) {
      const uint32_t p = pixels.At(x, y);
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (r != g || g != b || r < 0x40) continue;  // text is grey-scale over the black label
      (r > 0x90 ? colours.white : colours.grey) += 1;
      colours.leftmost = std::min(colours.leftmost, x);
    }
  return colours;
}

TEST(ButtonRender, LabelTextIsWhiteRightAlignedAndGreyWhenDisabled) {
  const Image black = Filled(200, 25, 0xFF000000);
  CDUIButton label(Rect{0, 0, 140, 25}, &black, 1, kCaptionGreeting, nullptr, u"Traveller");
  const TextColours enabled = ColoursOf(Rendered(label, 140, 25));
  EXPECT_GT(enabled.white, 10);
  EXPECT_GT(enabled.leftmost, 50);  // right-aligned: the left of the label stays black
  label.disabled = 1;
  const TextColours disabled = ColoursOf(Rendered(label, 140, 25));
  EXPECT_GT(disabled.grey, 10);
  EXPECT_EQ(disabled.white, 0);
  // Too low for a whole line: the line limit leaves the label without text.
  CDUIButton flat(Rect{0, 0, 140, 5}, &black, 1, kCaptionGreeting, nullptr, u"Traveller");
  const TextColours none = ColoursOf(Rendered(flat, 140, 25));
  EXPECT_EQ(none.white + none.grey, 0);
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
  constexpr int C = kCaptionHeight, B = kBorderWidth;
  Image image = Image::Surface(iw, ih);
  {
    // Each region of the image its own colour; later fills win.
    Canvas canvas(image);
    canvas.FillRect(Rect{0, 0, iw, ih}, 0xFF101010);
    canvas.FillRect(Rect{0, C, B, ih}, 0xFF700000);
    canvas.FillRect(Rect{iw - B, C, iw, ih}, 0xFF800000);
    canvas.FillRect(Rect{0, ih - C, C, ih}, 0xFF500000);
    canvas.FillRect(Rect{iw - C, ih - C, iw, ih}, 0xFF600000);
    canvas.FillRect(Rect{0, 0, 50, C}, 0xFF200000);
    canvas.FillRect(Rect{50, 0, iw - 50, C}, 0xFF400000);
    canvas.FillRect(Rect{iw - 50, 0, iw, C}, 0xFF300000);
    // The bottom edge's source sits right of the bottom-left corner's colour block.
    canvas.FillRect(Rect{C, ih - B, C + B, ih}, 0xFF900000);
  }
  SkinFrame frame(image, nullptr, nullptr, nullptr);
  Image surface = Filled(700, 400, 0xFFFFFFFF);  // what an earlier paint left
  const int w = 700, h = 400;
  frame.Paint(surface, w, h, nullptr, u"");
  ASSERT_EQ(surface.Width(), w);
  ASSERT_EQ(surface.Height(), h);
  const ImagePixels pixels = surface.ReadPixels();
  const struct {
    const char* part;
    int x, y;
    uint32_t colour;
  } expected[] = {
      {"caption left end", 10, 10, 0xFF200000u},
      {"stretched caption band", 300, 10, 0xFF400000u},
      {"caption right end", w - 10, 10, 0xFF300000u},
      {"left edge", 3, 200, 0xFF700000u},
      {"right edge", w - 3, 200, 0xFF800000u},
      {"bottom edge", 300, h - 3, 0xFF900000u},
      {"bottom-left corner over the edge", 3, h - 3, 0xFF500000u},
      {"bottom-right corner", w - 3, h - 3, 0xFF600000u},
      {"client: transparent", B, C, 0u},
      {"client under the bottom-right corner", w - B - 1, h - B - 1, 0u},
  };
  for (const auto& e : expected) EXPECT_EQ(pixels.At(e.x, e.y), e.colour) << e.part;
  EXPECT_NE(pixels.At(w - B, h - B - 1), 0u);
}

TEST(NinePart, PaintDrawsIconAndSkipsButtonsOutsideTheClip) {
  SkinFrame frame(Filled(594, 523, 0xFF202020), nullptr, nullptr, nullptr);
  const Image strip = Filled(30, 20, kGreen);
  frame.AddCaptionButton(Rect{500, 5, 530, 25}, &strip, 1, 120);
  const Image icon = Filled(32, 32, kBlue);
  Image surface;
  frame.Paint(surface, 600, 300, &icon, u"", Rect{0, 0, 100, 38});
  ImagePixels pixels = surface.ReadPixels();
  EXPECT_EQ(pixels.At(10, 8), kBlue);
  EXPECT_EQ(pixels.At(25, 23), kBlue);
  EXPECT_EQ(pixels.At(26, 8), 0xFF202020u);  // drawn at small-icon size
  EXPECT_EQ(pixels.At(510, 10), 0xFF202020u);
  frame.Paint(surface, 600, 300, nullptr, u"", Rect{480, 0, 520, 38});
  pixels = surface.ReadPixels();
  EXPECT_EQ(pixels.At(510, 10), kGreen);
  EXPECT_EQ(pixels.At(10, 8), 0xFF202020u);
  frame.Paint(surface, 600, 300, nullptr, u"");  // no clip: everything
  EXPECT_EQ(surface.ReadPixels().At(510, 10), kGreen);
}

// Columns of the caption where the title put white pixels.
std::pair<int, int> TitleColumns(const ImagePixels& pixels) {
  int first = 1 << 20, last = -1;
  for (int y = 0; y < kCaptionHeight; ++y)
    for (int x = 0; x < pixels.width; ++x)
      if ((pixels.At(x, y) & 0xFF) > 0xA0 && ((pixels.At(x, y) >> 16) & 0xFF) > 0xA0) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
  return {first, last};
}

TEST(NinePart, TitleStartsBesideTheIconOrAtTheLeftWithoutOne) {
  SkinFrame frame(Filled(594, 523, 0xFF000000), nullptr, nullptr, nullptr);
  const Image icon = Filled(16, 16, kBlue);
  Image surface;
  frame.Paint(surface, 600, 300, &icon, u"Fernlite");
  auto [first, last] = TitleColumns(surface.ReadPixels());
  EXPECT_GE(first, 10 + kSmallIconSize + 5);
  EXPECT_LT(first, 10 + kSmallIconSize + 5 + 6);
  EXPECT_GT(last, first + 20);
  frame.Paint(surface, 600, 300, nullptr, u"Fernlite");
  first = TitleColumns(surface.ReadPixels()).first;
  EXPECT_GE(first, 10);
  EXPECT_LT(first, 16);
  frame.Paint(surface, 600, 300, nullptr, u"");
  EXPECT_EQ(TitleColumns(surface.ReadPixels()).second, -1);  // no title, no text
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

TEST(RoundedOutline, BandsMergeRowsAndCoverExactlyTheOutline) {
  for (auto [w, h] : {std::pair{300, 200}, std::pair{800, 500}, std::pair{16, 46}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    const std::vector<RowSpan> rows = RoundedOutline(w, h);
    const std::vector<Rect> bands = RoundedOutlineBands(w, h);
    // The corners take a few bands each; the straight middle is one.
    EXPECT_LE(bands.size(), 7u);
    int next_row = 0;
    for (const Rect& band : bands) {
      EXPECT_FALSE(band.Empty());
      EXPECT_EQ(band.top, next_row);  // top to bottom, no gaps, no overlaps
      for (int y = band.top; y < band.bottom; ++y) {
        EXPECT_EQ(rows[static_cast<size_t>(y)].left, band.left) << y;
        EXPECT_EQ(rows[static_cast<size_t>(y)].right, band.right) << y;
      }
      next_row = band.bottom;
    }
    EXPECT_EQ(next_row, h);
    // Neighbouring bands differ, or they would have been one.
    for (size_t i = 1; i < bands.size(); ++i)
      EXPECT_FALSE(bands[i].left == bands[i - 1].left && bands[i].right == bands[i - 1].right);
  }
  EXPECT_TRUE(RoundedOutlineBands(0, 0).empty());
  EXPECT_TRUE(RoundedOutlineBands(0, 5).empty());
}

}  // namespace
}  // namespace fernlite
