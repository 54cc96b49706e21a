// The launcher dialog on a real display (Xvfb in the test script): its companion page window,
// the start-the-game request, closing, and JpgMode's framed window.
#include "skin/launcher_dialog.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "game/script_bridge_linux.h"
#include "game/webkit_api_linux.h"
#include "fakes/main_loop_linux.h"
#include "fakes/web_engine_leaks.h"
#include "game/standard_dialog.h"
#include "skin/launcher_dialog_linux.h"

namespace fernlite {
namespace {

using test::RunUntil;

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
    ASSERT_TRUE(CreateLauncherWindow(*dialog_, Settings().GameTitle));
  }
  void TearDown() override {
    if (!dialog_) return;
    dialog_.reset();
    DeleteScriptBridge();
    Settings() = saved_;
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
  EXPECT_EQ(dialog_->MinimizeButton().Bounds(), RectXYWH(595, 0, 27, 22));
  EXPECT_EQ(dialog_->MinimizeButton().ActionCode, kMinimizeActionCode);
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
  ASSERT_TRUE(AsWebView(view));
  GtkAllocation allocation;
  ASSERT_TRUE(RunUntil([&] {
    gtk_widget_get_allocation(view, &allocation);
    return allocation.width == 660;
  }));
  EXPECT_EQ(allocation.x, 0);
  EXPECT_EQ(allocation.y, 25);
  EXPECT_EQ(allocation.width, 660);
  EXPECT_EQ(allocation.height, 357);
  const std::string uri = WebKit().webkit_web_view_get_uri(AsWebView(view));
  EXPECT_EQ(uri.rfind("http://127.0.0.1:9/guest/c1/?gid=qmzt&cid=", 0), 0u) << uri;
}

TEST_F(LauncherDialog, ThePageWindowFirstAppearsInPlaceUnderTheFrame) {
  // Where the server has the page window when it first maps: a map anywhere else, even
  // corrected at once, shows on a real desktop as a flash.
  struct FirstMap {
    bool seen = false;
    int x = 0, y = 0, width = 0, height = 0;
  } first;
  g_signal_connect(Page(), "map-event",
                   G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, FirstMap* map) -> gboolean {
                     if (map->seen) return FALSE;
                     map->seen = true;
                     GdkWindow* window = gtk_widget_get_window(widget);
                     gdk_window_get_origin(window, &map->x, &map->y);  // asks the server
                     gdk_window_get_geometry(window, nullptr, nullptr, &map->width, &map->height);
                     return FALSE;
                   }),
                   &first);
  ASSERT_TRUE(RunUntil([&] { return first.seen && gtk_widget_get_mapped(Frame()); }));
  Spin(100);  // any later correction would land by now
  int fx = 0, fy = 0;
  gdk_window_get_origin(gtk_widget_get_window(Frame()), &fx, &fy);
  EXPECT_EQ(first.x, fx);
  EXPECT_EQ(first.y, fy);
  EXPECT_EQ(first.width, dialog_->Layer().Width());
  EXPECT_EQ(first.height, dialog_->Layer().Height());
  // The frame is centred in the work area, so the origin is not where a stray map would be.
  EXPECT_GT(fx, 0);
  EXPECT_GT(fy, 0);
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

TEST(LauncherDialogJpgMode, OrdinaryFramedWindowWithoutTranslucentButtons) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  RunSettings settings;
  settings.GuestBaseUrl = u"http://127.0.0.1:9/guest/c1/?";
  CFernliteDlg dialog(kLauncherJpgImage, ImageType::Jpg, settings);
  ASSERT_TRUE(CreateLauncherWindow(dialog, u"岚岫奇谭"));
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

  // The window paints the plain image stretched, not the layer.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (gtk_widget_get_allocated_width(window) != kJpgWindowWidth &&
         std::chrono::steady_clock::now() < deadline)
    g_main_context_iteration(nullptr, FALSE);
  ASSERT_EQ(gtk_widget_get_allocated_width(window), kJpgWindowWidth);
  cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 600, 400);
  cairo_t* cr = cairo_create(shot);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  cairo_surface_flush(shot);
  const ImagePixels plain = dialog.PaintImage()->ReadPixels();
  const auto* pixels = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(shot));
  const int stride = cairo_image_surface_get_stride(shot) / 4;
  EXPECT_EQ(pixels[10 * stride + 10], plain.At(0, 0));
  EXPECT_EQ(pixels[390 * stride + 590], plain.At(1, 1));
  cairo_surface_destroy(shot);
}

}  // namespace
}  // namespace fernlite
