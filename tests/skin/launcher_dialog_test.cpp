// The launcher dialog without a window: its buttons over the frame image, the start-the-game
// request, its background dialog, JpgMode's look and the page messages.
#include "skin/launcher_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "fakes/test_env.h"
#include "game/guest_link_platform.h"
#include "game/standard_dialog.h"
#include "skin/drawing_platform.h"
#include "skin_art.h"

namespace fernlite {
namespace {

using test::PixelNear;

class RecordingHost : public LayeredWindowHost {
 public:
  NativeWindow Handle() const override { return const_cast<RecordingHost*>(this); }
  void Present(const Image& layer) override {
    ++presents;
    last = layer.ReadPixels();
  }
  void PostAction(ButtonAction action) override { actions.push_back(action); }
  void MoveWindow(NativeWindow, int, int) override {}
  void SizeWindow(NativeWindow, int, int) override {}
  int presents = 0;
  ImagePixels last;
  std::vector<ButtonAction> actions;
};

// A platform window that only records what it was asked.
class FakePageWindow : public StandardDialogWindow {
 public:
  explicit FakePageWindow(NativeWindow* created_owner) : created_owner_(created_owner) {}
  bool Create(CStandardDialog&, NativeWindow owner) override {
    *created_owner_ = owner;
    return true;
  }
  NativeWindow Handle() const override { return nullptr; }
  void* Browser() const override { return nullptr; }

 private:
  NativeWindow* created_owner_;
};

class Launcher : public ::testing::Test {
 protected:
  Launcher() : opened_urls_(RecordUrls(opened_)) {}

  static GuestLinkPlatform RecordUrls(std::vector<std::u16string>& opened) {
    GuestLinkPlatform links = Platform<GuestLinkPlatform>();
    links.open_url = [&opened](const std::u16string& url) { opened.push_back(url); };
    return links;
  }

  // The dialog initialised over a recording host, as its window would do it.
  RecordingHost* Initialise(CFernliteDlg& dialog) {
    auto host = std::make_unique<RecordingHost>();
    RecordingHost* recorder = host.get();
    dialog.AdoptHost(std::move(host));
    dialog.InitDialog(Rect{}, 661, 420, Rect{0, 0, 1280, 800});
    return recorder;
  }

  test::ScopedArtResources art_;
  std::vector<std::u16string> opened_;
  ScopedPlatform<GuestLinkPlatform> opened_urls_;
  RunSettings settings_;
};

TEST_F(Launcher, PngModeDrawsBothGlyphsOverTheFrame) {
  CFernliteDlg dialog(kLauncherPngImage, ImageType::Png, settings_);
  EXPECT_EQ(dialog.Mode(), LauncherMode::kPng);
  RecordingHost* host = Initialise(dialog);
  ASSERT_EQ(dialog.Children().size(), 2u);
  EXPECT_EQ(dialog.CloseButton().Bounds(), kCloseButtonRect);
  EXPECT_EQ(dialog.CloseButton().ActionCode, kCloseActionCode);
  EXPECT_EQ(dialog.MinimizeButton().Bounds(), kMinimizeButtonRect);
  EXPECT_EQ(dialog.MinimizeButton().ActionCode, kMinimizeActionCode);
  ASSERT_EQ(host->presents, 1);
  ASSERT_EQ(host->last.width, 661);
  ASSERT_EQ(host->last.height, 420);

  // Each glyph lands unscaled in its rectangle, over the frame's ornament.
  const ImagePixels frame = test::ArtImage(kLauncherPngImage, ImageType::Png).ReadPixels();
  for (auto [id, rect] : {std::pair{kCloseGlyphImage, kCloseButtonRect},
                          std::pair{kMinimizeGlyphImage, kMinimizeButtonRect}}) {
    SCOPED_TRACE(id);
    const ImagePixels glyph = test::ArtImage(id, ImageType::Png).ReadPixels();
    ASSERT_EQ(glyph.width, rect.Width());
    int mismatches = 0;
    for (int y = 0; y < glyph.height; ++y)
      for (int x = 0; x < glyph.width; ++x)
        mismatches += !PixelNear(host->last.At(rect.left + x, rect.top + y),
                                 test::Over(frame.At(rect.left + x, rect.top + y), glyph.At(x, y)));
    EXPECT_EQ(mismatches, 0);
  }
  EXPECT_EQ(host->last.At(300, 200), 0u);  // the page area stays see-through
}

TEST_F(Launcher, StartRequestsClearTheExitFlagAndCloseEachTime) {
  CFernliteDlg dialog(kLauncherPngImage, ImageType::Png, settings_);
  RecordingHost* host = Initialise(dialog);
  ASSERT_TRUE(settings_.ExitAfterLauncher);
  // The page may ask twice before the window is gone; the window closes once.
  dialog.OnStartGameRequest();
  dialog.OnStartGameRequest();
  EXPECT_FALSE(settings_.ExitAfterLauncher);
  EXPECT_EQ(host->actions, (std::vector<ButtonAction>{ButtonAction::Close, ButtonAction::Close}));
  int destroyed = 0;
  dialog.on_destroyed = [&] { ++destroyed; };
  dialog.DestroyWindow();
  dialog.DestroyWindow();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(dialog.Host(), nullptr);
}

TEST_F(Launcher, BackgroundDialogIsOwnedByTheFrameAndItsClosingClosesTheLauncher) {
  CFernliteDlg alone(kLauncherPngImage, ImageType::Png, settings_);
  Initialise(alone);
  EXPECT_EQ(alone.GetBackground(), nullptr);  // nothing makes one

  CFernliteDlg dialog(kLauncherPngImage, ImageType::Png, settings_);
  NativeWindow made_for = nullptr, created_owner = nullptr;
  CSTDBackgroundDlg* page = nullptr;
  dialog.make_background = [&](NativeWindow owner) {
    made_for = owner;
    auto background = std::make_unique<CSTDBackgroundDlg>(owner);
    background->AdoptWindow(std::make_unique<FakePageWindow>(&created_owner));
    page = background.get();
    return background;
  };
  RecordingHost* host = Initialise(dialog);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(dialog.GetBackground(), page);
  EXPECT_EQ(made_for, host->Handle());
  EXPECT_EQ(created_owner, host->Handle());
  EXPECT_EQ(page->TemplateId(), kBackgroundDialogTemplate);
  EXPECT_EQ(page->ColourKey(), kBackgroundColourKey);
  page->WindowDestroyedItself();
  EXPECT_EQ(host->actions, std::vector<ButtonAction>{ButtonAction::Close});
  EXPECT_TRUE(settings_.ExitAfterLauncher);
}

TEST_F(Launcher, JpgModeHasNoButtonsAndStretchesItsPlainImage) {
  CFernliteDlg dialog(kLauncherJpgImage, ImageType::Jpg, settings_);
  EXPECT_EQ(dialog.Mode(), LauncherMode::kJpg);
  Initialise(dialog);
  EXPECT_TRUE(dialog.Children().empty());
  ASSERT_NE(dialog.PaintImage(), nullptr);
  const ImagePixels source = dialog.PaintImage()->ReadPixels();
  ASSERT_EQ(source.width, 2);

  Image surface = Image::Surface(kJpgPaintRect.right, kJpgPaintRect.bottom);
  {
    Canvas canvas(surface);
    dialog.PaintJpgMode(canvas);
  }
  // Two by two pixels, each one a quarter of the window.
  const ImagePixels painted = surface.ReadPixels();
  for (auto [x, y] :
       {std::pair{0, 0}, std::pair{299, 199}, std::pair{300, 0}, std::pair{599, 199},
        std::pair{0, 200}, std::pair{299, 399}, std::pair{300, 200}, std::pair{599, 399}})
    EXPECT_EQ(painted.At(x, y), source.At(x / 300, y / 200)) << x << "," << y;
}

// Each mode decodes its picture once: PngMode has no paint image, JpgMode paints the
// background it already holds.
TEST_F(Launcher, EachModeDecodesItsPictureOnce) {
  std::vector<uint16_t> loads;
  DrawingPlatform counting = Platform<DrawingPlatform>();
  counting.load_image = [&loads, inner = counting.load_image](uint16_t id, ImageType type) {
    loads.push_back(id);
    return inner(id, type);
  };
  ScopedPlatform<DrawingPlatform> scoped(counting);

  CFernliteDlg png(kLauncherPngImage, ImageType::Png, settings_);
  Initialise(png);
  EXPECT_EQ(std::count(loads.begin(), loads.end(), kLauncherPngImage), 1);
  EXPECT_EQ(png.PaintImage(), nullptr);
  // The glyphs name one resource in all their slots.
  EXPECT_EQ(std::count(loads.begin(), loads.end(), kCloseGlyphImage), 1);

  loads.clear();
  CFernliteDlg jpg(kLauncherJpgImage, ImageType::Jpg, settings_);
  Initialise(jpg);
  EXPECT_EQ(loads, std::vector<uint16_t>{kLauncherJpgImage});
  ASSERT_NE(jpg.PaintImage(), nullptr);
  EXPECT_EQ(jpg.PaintImage()->Native(), jpg.BackgroundImage()->Native());
}

TEST_F(Launcher, PageMessagesOpenTheFourPages) {
  CFernliteDlg dialog(kLauncherPngImage, ImageType::Png, settings_);
  for (unsigned message : {1029u, 1030u, 1031u, 1032u, 1033u, 1034u, 1025u})
    EXPECT_EQ(dialog.OnPageMessage(message), message >= 1030 && message <= 1033) << message;
  ASSERT_EQ(opened_.size(), 4u);
  EXPECT_EQ(opened_[0], *LauncherPageUrl(kOpenServicePage));
  EXPECT_EQ(opened_[1], *LauncherPageUrl(kOpenHomePage));
  EXPECT_EQ(opened_[2], *LauncherPageUrl(kOpenForumPage));
  EXPECT_EQ(opened_[3], *LauncherPageUrl(kOpenPayPage));
}

TEST(LauncherPageUrl, PlainHttpPagesOnTheirSites) {
  test::ScopedEnv platform("FERNLITE_PLATFORM", "http://127.0.0.1:8123");
  EXPECT_EQ(LauncherPageUrl(1030), u"http://127.0.0.1:8123/user/kf/");
  EXPECT_EQ(LauncherPageUrl(1031), u"http://127.0.0.1:8123/rv7");
  EXPECT_EQ(LauncherPageUrl(1032), u"http://127.0.0.1:8123/forum-349-1.html");
  EXPECT_EQ(LauncherPageUrl(1033), u"http://127.0.0.1:8123/pay/?gid=rv7");
  EXPECT_EQ(LauncherPageUrl(1025), std::nullopt);
}

}  // namespace
}  // namespace fernlite
