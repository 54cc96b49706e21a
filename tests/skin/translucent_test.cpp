// Translucent dialogs and their buttons without a window: state images, composition of the
// layer on the build's drawing library, placement and the companion window.
#include "skin/translucent.h"

#include <gtest/gtest.h>

#include <map>

#include "skin_art.h"

namespace fernlite {
namespace {

using test::Filled;
using test::Over;
using test::PixelAt;
using test::PixelNear;

// Images by identifier, whatever the type asked for; each load is an image of its own.
class FakeModule : public ImageModule {
 public:
  void Add(uint16_t id, int w, int h, uint32_t argb) { images_[id] = {w, h, argb}; }
  Image Load(uint16_t id, ImageType) const override {
    auto it = images_.find(id);
    if (it == images_.end()) return {};
    return Filled(it->second.w, it->second.h, it->second.argb);
  }

 private:
  struct Art {
    int w, h;
    uint32_t argb;
  };
  std::map<uint16_t, Art> images_;
};

class CountingListener : public IRenderListener {
 public:
  void RequestRender(CTranslucentWnd* sender) override {
    ++renders;
    last = sender;
  }
  int renders = 0;
  CTranslucentWnd* last = nullptr;
};

constexpr uint32_t kNormal = 0xFF0000FFu, kDisabled = 0xFF808080u, kHover = 0xFF00FF00u,
                   kPressed = 0xFFFF0000u, kChecked = 0xFFFFFF00u;

FakeModule StateModule() {
  FakeModule module;
  module.Add(1, 4, 3, kNormal);
  module.Add(2, 4, 3, kDisabled);
  module.Add(3, 4, 3, kHover);
  module.Add(4, 4, 3, kPressed);
  module.Add(5, 4, 3, kChecked);
  return module;
}

uint32_t Shown(const CTranslucentButton& button) {
  return button.CurrentImage() ? PixelAt(*button.CurrentImage(), 0, 0) : 0;
}

TEST(TranslucentButton, SetStateImagesTakesTheNormalImagesSize) {
  FakeModule module = StateModule();
  CTranslucentButton button;
  button.SetBounds(RectXYWH(10, 20, 50, 50));
  EXPECT_TRUE(button.SetStateImages({1, 2, 3, 4, 5}, ImageType::Png, &module));
  EXPECT_EQ(button.Bounds(), RectXYWH(10, 20, 4, 3));
  EXPECT_EQ(Shown(button), kNormal);

  // A missing normal image empties every slot, even after a good set.
  EXPECT_FALSE(button.SetStateImages({9, 2, 3, 4, 5}, ImageType::Png, &module));
  EXPECT_EQ(button.CurrentImage(), nullptr);
  EXPECT_EQ(button.StateImage(kStateHover), nullptr);
  EXPECT_FALSE(button.SetStateImages({0, 2, 3, 4, 5}, ImageType::Png, &module));

  // Optional slots that fail to load stay empty.
  EXPECT_TRUE(button.SetStateImages({1, 0, 42, 4, 0}, ImageType::Png, &module));
  EXPECT_EQ(button.StateImage(kStateHover), nullptr);
  EXPECT_NE(button.StateImage(kStatePressed), nullptr);
}

TEST(TranslucentButton, StateImagesFollowTheMouseAndRecomposeOnlyOnChange) {
  FakeModule module = StateModule();
  CountingListener listener;
  CTranslucentButton button;
  button.SetListener(&listener);
  ASSERT_TRUE(button.SetStateImages({1, 2, 3, 4, 5}, ImageType::Png, &module));

  EXPECT_TRUE(button.OnMouseMove());   // first move asks for hover/leave notices
  EXPECT_FALSE(button.OnMouseMove());  // already tracking
  EXPECT_EQ(listener.renders, 0);
  button.OnMouseHover();
  EXPECT_EQ(Shown(button), kHover);
  EXPECT_EQ(listener.renders, 1);
  EXPECT_EQ(listener.last, &button);
  button.OnMouseHover();  // same image: no recomposition
  EXPECT_EQ(listener.renders, 1);

  button.OnLButtonDown();
  EXPECT_EQ(Shown(button), kPressed);
  auto action = button.OnLButtonUp(1, 1);
  ASSERT_TRUE(action.has_value());
  EXPECT_EQ(*action, ButtonAction::Close);
  EXPECT_EQ(Shown(button), kHover);

  button.OnMouseLeave();
  EXPECT_FALSE(button.Tracking());
  EXPECT_EQ(Shown(button), kNormal);

  // Disabled, then checked, rank below hover.
  button.OnEnable(false);
  EXPECT_EQ(Shown(button), kDisabled);
  int before = listener.renders;
  button.OnEnable(false);
  EXPECT_EQ(listener.renders, before);
  button.OnMouseHover();
  EXPECT_EQ(Shown(button), kHover);
  button.OnMouseLeave();
  button.OnEnable(true);
  EXPECT_EQ(Shown(button), kNormal);
}

TEST(TranslucentButton, ReleaseAwayFromTheButtonKeepsPressedUntilAReleaseOverIt) {
  FakeModule module = StateModule();
  CTranslucentButton button;
  button.ActionCode = kMinimizeActionCode;
  ASSERT_TRUE(button.SetStateImages({1, 0, 3, 4, 0}, ImageType::Png, &module));
  button.OnMouseMove();
  button.OnMouseHover();
  button.OnLButtonDown();
  button.OnMouseLeave();  // pointer leaves while held; the release happens elsewhere
  EXPECT_EQ(Shown(button), kNormal);
  EXPECT_TRUE(button.Pressed());

  button.OnMouseMove();
  button.OnMouseHover();  // back over it: still pressed
  EXPECT_EQ(Shown(button), kPressed);
  auto action = button.OnLButtonUp(0, 0);
  ASSERT_TRUE(action.has_value());
  EXPECT_EQ(*action, ButtonAction::Minimize);
  EXPECT_FALSE(button.Pressed());

  // A release reported outside its rectangle runs nothing and drops hover.
  button.OnLButtonDown();
  EXPECT_FALSE(button.OnLButtonUp(4, 0).has_value());
  EXPECT_FALSE(button.OnLButtonUp(-1, 1).has_value());
  EXPECT_FALSE(button.Hover());
  EXPECT_EQ(Shown(button), kNormal);
}

TEST(TranslucentButton, OnlyNormalImageIsShownInEveryState) {
  FakeModule module = StateModule();
  CTranslucentButton button;
  ASSERT_TRUE(button.SetStateImages({1, 0, 0, 0, 0}, ImageType::Png, &module));
  button.OnMouseHover();
  EXPECT_EQ(Shown(button), kNormal);
  button.OnLButtonDown();
  EXPECT_EQ(Shown(button), kNormal);
  button.OnMouseLeave();
  button.OnEnable(false);
  EXPECT_EQ(Shown(button), kNormal);
}

// The launcher's glyph buttons name one resource in every slot: one decode, and no state change
// ever composes the layer again.
TEST(TranslucentButton, SlotsNamingOneResourceShareOneImage) {
  struct CountingModule : ImageModule {
    Image Load(uint16_t id, ImageType type) const override {
      ++loads;
      return inner.Load(id, type);
    }
    FakeModule inner = StateModule();
    mutable int loads = 0;
  } module;
  CTranslucentButton button;
  ASSERT_TRUE(button.SetStateImages({1, 1, 1, 1, 0}, ImageType::Png, &module));
  EXPECT_EQ(module.loads, 1);
  CountingListener listener;
  button.SetListener(&listener);
  button.OnMouseHover();
  button.OnLButtonDown();
  button.OnLButtonUp(100, 100);
  button.OnMouseLeave();
  button.OnEnable(false);
  EXPECT_EQ(listener.renders, 0);
  EXPECT_EQ(Shown(button), kNormal);

  // Distinct resources still recompose on each change of the chosen image.
  ASSERT_TRUE(button.SetStateImages({1, 1, 3, 3, 0}, ImageType::Png, &module));
  EXPECT_EQ(module.loads, 3);
  button.OnEnable(true);
  button.OnMouseHover();
  EXPECT_EQ(listener.renders, 1);
  button.OnLButtonDown();  // pressed shows the same image as hover
  EXPECT_EQ(listener.renders, 1);
}

TEST(TranslucentButton, CheckStylesFlipCheckedAndStillAct) {
  FakeModule module = StateModule();
  for (uint32_t style : {2u, 3u, 4u, 9u, 0x50010003u}) {
    CTranslucentButton button;
    button.SetStyle(style);
    ASSERT_TRUE(button.SetStateImages({1, 2, 3, 4, 5}, ImageType::Png, &module));
    button.OnMouseHover();
    button.OnLButtonDown();
    EXPECT_TRUE(button.OnLButtonUp(0, 0).has_value()) << style;
    EXPECT_TRUE(button.Checked()) << style;
    button.OnMouseLeave();
    EXPECT_EQ(Shown(button), kChecked) << style;
    button.OnMouseHover();
    button.OnLButtonDown();
    EXPECT_TRUE(button.OnLButtonUp(0, 0).has_value());
    EXPECT_FALSE(button.Checked()) << style;
  }
  CTranslucentButton push;
  push.SetStyle(0x50010001u);  // default push button
  ASSERT_TRUE(push.SetStateImages({1, 2, 3, 4, 5}, ImageType::Png, &module));
  push.OnLButtonDown();
  EXPECT_TRUE(push.OnLButtonUp(0, 0).has_value());
  EXPECT_FALSE(push.Checked());
}

TEST(ButtonActions, MinimiseCodeMinimisesEverythingElseCloses) {
  EXPECT_EQ(ActionForCode(1029), ButtonAction::Minimize);
  EXPECT_EQ(ActionForCode(16), ButtonAction::Close);
  EXPECT_EQ(ActionForCode(0), ButtonAction::Close);
  EXPECT_EQ(ActionForCode(-1029), ButtonAction::Close);
}

// A child that paints one colour over its bounds.
class Patch : public CTranslucentWnd {
 public:
  Patch(Rect bounds, uint32_t colour) : colour_(colour) { SetBounds(bounds); }
  void Render(Canvas& canvas) override {
    canvas.DrawImage(Filled(Bounds().Width(), Bounds().Height(), colour_), Bounds());
  }
  void Hide() { SyncStateFromStyle(false, Disabled()); }

 private:
  uint32_t colour_;
};

TEST(ComposeLayerTest, BackgroundThenVisibleChildrenInOrder) {
  // Background: left half opaque grey, right half fully transparent.
  Image background = Image::Surface(8, 4);
  {
    Canvas canvas(background);
    canvas.FillRect(Rect{0, 0, 4, 4}, 0xFF404040u);
  }
  Patch red(Rect{2, 0, 6, 2}, 0xFFFF0000u);
  Patch half_blue(Rect{3, 0, 7, 4}, 0x800000FFu);  // half-covered
  const uint32_t kHalfBlue = 0x80000080u;          // as a premultiplied pixel
  Patch hidden(Rect{0, 0, 8, 4}, 0xFF00FF00u);
  Patch outside(Rect{6, 2, 12, 9}, 0xFFFFFFFFu);  // clipped by the right and bottom edges
  hidden.Hide();
  std::vector<CTranslucentWnd*> children{&red, &half_blue, &hidden, &outside};

  Image layer = Filled(1, 1, 0xFFFFFFFFu);  // stale content must not survive
  ComposeLayer(&background, children, layer);
  ASSERT_EQ(layer.Width(), 8);
  ASSERT_EQ(layer.Height(), 4);
  ImagePixels pixels = layer.ReadPixels();

  EXPECT_EQ(pixels.At(0, 0), 0xFF404040u);  // background only (hidden child skipped)
  EXPECT_EQ(pixels.At(2, 1), 0xFFFF0000u);  // red over grey
  EXPECT_TRUE(PixelNear(pixels.At(3, 1), Over(0xFFFF0000u, kHalfBlue)));  // later child on top
  EXPECT_TRUE(PixelNear(pixels.At(3, 3), Over(0xFF404040u, kHalfBlue)));
  EXPECT_TRUE(PixelNear(pixels.At(5, 3), kHalfBlue));  // over transparent pixels: source as is
  EXPECT_EQ(pixels.At(7, 0), 0u);                      // nothing covers it: transparent
  EXPECT_EQ(pixels.At(7, 3), 0xFFFFFFFFu);
  EXPECT_TRUE(PixelNear(pixels.At(6, 1), kHalfBlue));

  // Composed again into the same layer (a button changed state): nothing of the last pass
  // stays, and the surface itself is kept.
  const NativeImage* surface = layer.Native();
  red.Hide();
  ComposeLayer(&background, children, layer);
  EXPECT_EQ(layer.Native(), surface);
  pixels = layer.ReadPixels();
  EXPECT_EQ(pixels.At(2, 1), 0xFF404040u);
  EXPECT_TRUE(PixelNear(pixels.At(3, 1), Over(0xFF404040u, kHalfBlue)));
  EXPECT_EQ(pixels.At(7, 0), 0u);

  ComposeLayer(nullptr, children, layer);
  EXPECT_TRUE(layer.Empty());
}

class TestDialog : public CTranslucentDialog {
 public:
  TestDialog(const ImageModule* module) : CTranslucentDialog(102, 100, ImageType::Png, module) {}
  BackgroundWindow* CreateBackground() override { return nullptr; }
  BackgroundWindow* GetBackground() override { return nullptr; }
  void InitControls() override {
    ++init_controls;
    close.ActionCode = 16;
    close.SetBounds(RectXYWH(6, 0, 0, 0));
    close.SetStateImages({1, 0, 3, 4, 0}, ImageType::Png, module_for_test);
    AddChild(&close);
  }
  const ImageModule* module_for_test = nullptr;
  CTranslucentButton close;
  int init_controls = 0;
};

class RecordingHost : public LayeredWindowHost {
 public:
  NativeWindow Handle() const override { return nullptr; }
  void Present(const Image& layer) override {
    ++presents;
    last = layer.ReadPixels();
  }
  void PostAction(ButtonAction action) override { actions.push_back(action); }
  void MoveWindow(NativeWindow window, int x, int y) override { moves.push_back({window, x, y}); }
  void SizeWindow(NativeWindow window, int w, int h) override { sizes.push_back({window, w, h}); }
  struct Call {
    NativeWindow window;
    int a, b;
  };
  std::vector<Call> moves, sizes;
  int presents = 0;
  ImagePixels last;
  std::vector<ButtonAction> actions;
};

TEST(TranslucentDialogTest, HoverRecomposesTheWholeLayerOnce) {
  FakeModule module = StateModule();
  module.Add(100, 10, 5, 0x80000000u);
  TestDialog dialog(&module);
  dialog.module_for_test = &module;
  auto host = std::make_unique<RecordingHost>();
  RecordingHost* recorder = host.get();
  dialog.AdoptHost(std::move(host));

  WindowPlacement placement = dialog.InitDialog(Rect{50, 60, 300, 300}, 10, 5, Rect{0, 0, 100, 40});
  EXPECT_EQ(placement, (WindowPlacement{45, 17, 10, 5}));
  EXPECT_EQ(dialog.init_controls, 1);
  EXPECT_EQ(recorder->presents, 1);
  EXPECT_EQ(recorder->last.At(6, 0), kNormal);
  EXPECT_TRUE(PixelNear(recorder->last.At(0, 0), 0x80000000u));
  EXPECT_EQ(dialog.close.Listener(), &dialog);

  EXPECT_EQ(dialog.ChildAt(7, 1), &dialog.close);
  EXPECT_EQ(dialog.ChildAt(5, 1), nullptr);
  dialog.close.OnMouseHover();
  EXPECT_EQ(recorder->presents, 2);
  EXPECT_EQ(recorder->last.At(6, 0), kHover);
  dialog.close.OnMouseHover();
  EXPECT_EQ(recorder->presents, 2);

  dialog.close.OnEnable(false);
  EXPECT_EQ(dialog.ChildAt(7, 1), nullptr);  // disabled children take no input
}

TEST(TranslucentDialogTest, MissingBackgroundLeavesAnEmptyLayer) {
  FakeModule module;
  TestDialog dialog(&module);
  EXPECT_EQ(dialog.BackgroundImage(), nullptr);
  dialog.RenderLayered();
  EXPECT_TRUE(dialog.Layer().Empty());
}

class FakeBackground : public BackgroundWindow {
 public:
  explicit FakeBackground(int* alive) : alive_(alive) { ++*alive_; }
  ~FakeBackground() override { --*alive_; }
  bool CreateOwned(NativeWindow owner) override {
    owner_ = owner;
    created = true;
    return true;
  }
  NativeWindow Handle() const override {
    return created ? const_cast<FakeBackground*>(this) : nullptr;
  }
  NativeWindow owner_ = nullptr;
  bool created = false;

 private:
  int* alive_;
};

class BackedDialog : public TestDialog {
 public:
  using TestDialog::TestDialog;
  BackgroundWindow* CreateBackground() override { return background = new FakeBackground(&alive); }
  BackgroundWindow* GetBackground() override { return background; }
  void InitControls() override {}
  FakeBackground* background = nullptr;
  int alive = 0;
};

TEST(TranslucentDialogTest, BackgroundWindowIsCreatedOnceAndKeptAligned) {
  FakeModule module;
  module.Add(100, 10, 5, 0xFF000000u);
  int alive_after = -1;
  {
    BackedDialog dialog(&module);
    auto host = std::make_unique<RecordingHost>();
    RecordingHost* recorder = host.get();
    dialog.AdoptHost(std::move(host));
    dialog.InitDialog(Rect{}, 10, 5, Rect{0, 0, 100, 100});
    ASSERT_NE(dialog.background, nullptr);
    EXPECT_TRUE(dialog.background->created);
    EXPECT_EQ(dialog.OwnedBackground(), dialog.background);

    dialog.OnMoved(-1500, -20);  // a monitor left of and above the primary one
    dialog.OnSized(10, 5);
    ASSERT_EQ(recorder->moves.size(), 1u);
    EXPECT_EQ(recorder->moves[0].window, dialog.background->Handle());
    EXPECT_EQ(recorder->moves[0].a, -1500);
    EXPECT_EQ(recorder->moves[0].b, -20);
    ASSERT_EQ(recorder->sizes.size(), 1u);
    EXPECT_EQ(recorder->sizes[0].a, 10);
    EXPECT_EQ(recorder->sizes[0].b, 5);

    dialog.PostAction(ButtonAction::Minimize);
    EXPECT_EQ(recorder->actions, std::vector<ButtonAction>{ButtonAction::Minimize});
    EXPECT_EQ(dialog.alive, 1);
    dialog.DestroyWindow();  // the companion goes with the window
    EXPECT_EQ(dialog.alive, 0);
    alive_after = dialog.alive;
  }
  EXPECT_EQ(alive_after, 0);
}

TEST(Placement, CentresTheFramedSizeInTheWorkArea) {
  // Work area beside a task bar on the left; the frame adds 16 x 39.
  WindowPlacement p =
      InitialPlacement(Rect{5, 6, 100, 100}, true, 661, 420, 677, 459, Rect{40, 0, 1280, 1024});
  EXPECT_EQ(p, (WindowPlacement{(1240 - 677) / 2 + 40, (1024 - 459) / 2, 661, 420}));
  WindowPlacement kept =
      InitialPlacement(Rect{-300, 6, 100, 100}, false, 661, 420, 661, 420, Rect{0, 0, 800, 600});
  EXPECT_EQ(kept, (WindowPlacement{-300, 6, 661, 420}));
  // Larger than the work area: the corner goes above and left of it.
  WindowPlacement big = InitialPlacement(Rect{}, true, 900, 700, 901, 701, Rect{0, 0, 800, 600});
  EXPECT_EQ(big.x, -50);
  EXPECT_EQ(big.y, -50);
}

TEST(Placement, MessageCoordinatesAreSignedForPositionsUnsignedForSizes) {
  uint32_t moved =
      (static_cast<uint32_t>(static_cast<uint16_t>(-20)) << 16) | static_cast<uint16_t>(-1500);
  EXPECT_EQ(SignedLow(moved), -1500);
  EXPECT_EQ(SignedHigh(moved), -20);
  uint32_t sized = 0xA410FFFFu;
  EXPECT_EQ(UnsignedLow(sized), 0xFFFF);
  EXPECT_EQ(UnsignedHigh(sized), 0xA410);
}

TEST(Dragging, WindowFollowsThePointerDisplacement) {
  DragTracker drag;
  EXPECT_FALSE(drag.Active());
  drag.Begin(700, 300, 600, 250);
  EXPECT_TRUE(drag.Active());
  EXPECT_EQ(drag.Follow(700, 300), (std::pair<int, int>{600, 250}));
  EXPECT_EQ(drag.Follow(100, 280), (std::pair<int, int>{0, 230}));
  EXPECT_EQ(drag.Follow(-200, 10), (std::pair<int, int>{-300, -40}));
  drag.End();
  EXPECT_FALSE(drag.Active());
}

}  // namespace
}  // namespace fernlite
