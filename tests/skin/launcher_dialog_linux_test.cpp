// The launcher dialog on a real display (Xvfb in the test script): its companion page window,
// the start-the-game request, closing, and the page messages.
#include "skin/launcher_dialog.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "fakes/test_env.h"
#include "game/script_bridge_linux.h"
#include "game/standard_dialog.h"
#include "fakes/web_engine_leaks.h"

namespace fernlite {
namespace {

class LauncherDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    saved_ = Settings();
    Settings() = RunSettings();
    // Nothing listens there: the page fails to load, which the dialog does not care about.
    Settings().GuestBaseUrl = u"http://127.0.0.1:9/guest/c1/?";
    CreateScriptBridge();
    dialog_ = std::make_unique<CFernliteDlg>(kLauncherPngImage, ImageType::Png, Settings());
    dialog_->on_destroyed = [this] { ++destroyed_; };
    dialog_->open_url = [this](const std::u16string& url) { opened_.push_back(url); };
    ASSERT_TRUE(dialog_->Create());
  }
  void TearDown() override {
    if (!dialog_) return;
    dialog_.reset();
    DeleteScriptBridge();
    Settings() = saved_;
  }

  static bool RunUntil(const std::function<bool()>& done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      g_main_context_iteration(nullptr, FALSE);
      g_usleep(1000);
    }
    return done();
  }
  static void Spin(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    RunUntil([&] { return std::chrono::steady_clock::now() >= deadline; });
  }

  GtkWidget* Frame() { return static_cast<GtkWidget*>(dialog_->Host()->Handle()); }
  GtkWidget* Page() { return static_cast<GtkWidget*>(dialog_->GetBackground()->Handle()); }

  RunSettings saved_;
  std::unique_ptr<CFernliteDlg> dialog_;
  int destroyed_ = 0;
  std::vector<std::u16string> opened_;
};

TEST_F(LauncherDialog, FrameCarriesTitleButtonsAndAnOwnedPageWindow) {
  ASSERT_TRUE(
      RunUntil([&] { return gtk_widget_get_mapped(Frame()) && gtk_widget_get_mapped(Page()); }));
  EXPECT_EQ(LauncherWindow(), dialog_.get());
  EXPECT_EQ(dialog_->Mode(), LauncherMode::kPng);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(Frame())), "岚岫奇谭");
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(Page())), GTK_WINDOW(Frame()));

  ASSERT_EQ(dialog_->Children().size(), 2u);
  EXPECT_EQ(dialog_->CloseButton().Bounds(), RectXYWH(627, 0, 31, 26));
  EXPECT_EQ(dialog_->CloseButton().ActionCode, kCloseActionCode);
  EXPECT_EQ(dialog_->MinimiseButton().Bounds(), RectXYWH(595, 0, 27, 22));
  EXPECT_EQ(dialog_->MinimiseButton().ActionCode, kMinimizeActionCode);
  EXPECT_EQ(dialog_->Layer().Width(), 661);
  EXPECT_EQ(dialog_->Layer().Height(), 420);

  // The page window keeps the frame's place and size; its browser keeps its own rectangle.
  ASSERT_TRUE(RunUntil([&] {
    int fx, fy, px, py;
    gdk_window_get_origin(gtk_widget_get_window(Frame()), &fx, &fy);
    gdk_window_get_origin(gtk_widget_get_window(Page()), &px, &py);
    return fx == px && fy == py && gtk_widget_get_allocated_width(Page()) == 661;
  }));
  auto* dlg = static_cast<CStandardDialog*>(dialog_->GetBackground());
  // The engine starts once the frame is on screen.
  ASSERT_TRUE(RunUntil([&] { return dlg->Browser() != nullptr; }));
  GtkWidget* view = static_cast<GtkWidget*>(dlg->Browser());
  ASSERT_TRUE(view && WEBKIT_IS_WEB_VIEW(view));
  GtkAllocation allocation;
  ASSERT_TRUE(RunUntil([&] {
    gtk_widget_get_allocation(view, &allocation);
    return allocation.width == 660;
  }));
  EXPECT_EQ(allocation.x, 0);
  EXPECT_EQ(allocation.y, 25);
  EXPECT_EQ(allocation.width, 660);
  EXPECT_EQ(allocation.height, 357);
  const std::string uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view));
  EXPECT_EQ(uri.rfind("http://127.0.0.1:9/guest/c1/?gid=qmzt&cid=", 0), 0u) << uri;
}

TEST_F(LauncherDialog, StartRequestsCloseOnceAndClearTheExitFlag) {
  ASSERT_TRUE(Settings().ExitAfterLauncher);
  // The page may ask twice before the window is gone.
  LauncherWindow()->OnStartGameRequest();
  LauncherWindow()->OnStartGameRequest();
  EXPECT_EQ(destroyed_, 0);  // posted, not done at once: the page's call returns first
  ASSERT_TRUE(RunUntil([&] { return destroyed_ > 0; }));
  Spin(200);
  EXPECT_EQ(destroyed_, 1);
  EXPECT_FALSE(Settings().ExitAfterLauncher);
  EXPECT_EQ(dialog_->Host(), nullptr);
  EXPECT_EQ(dialog_->GetBackground(), nullptr);
  // A dialog that is gone is not reachable from the bridge.
  dialog_.reset();
  EXPECT_EQ(LauncherWindow(), nullptr);
}

TEST_F(LauncherDialog, ClosingTheWindowLeavesTheExitFlagSet) {
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(Frame()); }));
  gtk_window_close(GTK_WINDOW(Frame()));  // what the window manager's close does
  ASSERT_TRUE(RunUntil([&] { return destroyed_ > 0; }));
  EXPECT_TRUE(Settings().ExitAfterLauncher);
}

TEST_F(LauncherDialog, ThePageWindowClosingByItselfEndsTheLauncher) {
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(Page()); }));
  gtk_widget_destroy(Page());
  ASSERT_TRUE(RunUntil([&] { return destroyed_ > 0; }));
  EXPECT_EQ(destroyed_, 1);
  EXPECT_TRUE(Settings().ExitAfterLauncher);
}

TEST_F(LauncherDialog, PageMessagesOpenTheFourPages) {
  for (unsigned message : {1029u, 1030u, 1031u, 1032u, 1033u, 1034u, 1025u})
    EXPECT_EQ(dialog_->OnPageMessage(message), message >= 1030 && message <= 1033) << message;
  ASSERT_EQ(opened_.size(), 4u);
  EXPECT_EQ(opened_[0], *LauncherPageUrl(kOpenServicePage));
  EXPECT_EQ(opened_[3], *LauncherPageUrl(kOpenPayPage));
}

TEST(LauncherDialogJpgMode, OrdinaryFramedWindowWithoutTranslucentButtons) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  RunSettings settings;
  settings.GuestBaseUrl = u"http://127.0.0.1:9/guest/c1/?";
  CFernliteDlg dialog(kLauncherJpgImage, ImageType::Jpg, settings);
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(dialog.Mode(), LauncherMode::kJpg);
  EXPECT_TRUE(dialog.Children().empty());
  ASSERT_NE(dialog.PaintImage(), nullptr);
  GtkWidget* window = static_cast<GtkWidget*>(dialog.Host()->Handle());
  EXPECT_TRUE(gtk_window_get_decorated(GTK_WINDOW(window)));
  int width = 0, height = 0;
  gtk_widget_get_size_request(window, &width, &height);
  EXPECT_EQ(width, kJpgWindowWidth);
  EXPECT_EQ(height, kJpgWindowHeight);
  EXPECT_EQ(LauncherWindow(), &dialog);
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
