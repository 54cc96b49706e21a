#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "app/startup.h"
#include "game/game_window.h"
#include "game/game_window_linux.h"
#include "game/script_bridge_linux.h"
#include "game/webkit_api_linux.h"
#include "platform/text.h"
#include "skin/skin_frame.h"
#include "fakes/main_loop_linux.h"
#include "fakes/web_engine_leaks.h"

namespace fernlite {
namespace {

constexpr char kPage[] =
    "data:text/html;charset=utf-8,<html><body><a id=a target=_blank "
    "href='https://games.example/news?id=7'>news</a></body></html>";

using test::RunUntil;

// Real windows under a display (Xvfb in the test run); skipped without one.
class GameWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    CreateScriptBridge();
  }
  void TearDown() override {
    if (ScriptBridgeObject()) DeleteScriptBridge();
  }

  static GameWindowRequest Request(std::u16string player) {
    GameWindowRequest request;
    request.player_name = std::move(player);
    request.title = u"岚岫奇谭 - 2服";
    request.url = FromUtf8(kPage);
    request.width = 800;
    request.height = 500;
    return request;
  }

  static std::vector<int32_t> ButtonIds(SkinFrame& frame) {
    std::vector<int32_t> ids;
    for (const auto& [id, button] : frame.Buttons()) ids.push_back(id);
    return ids;
  }

  static bool Mapped(CWebGameDlg& dialog) {
    return gtk_widget_get_mapped(GTK_WIDGET(dialog.Window())) &&
           gtk_widget_get_allocated_width(GTK_WIDGET(dialog.Window())) == 800;
  }
};

TEST_F(GameWindow, GuestCaptionHasTheBindingButtonAndGreeting) {
  CWebGameDlg dialog(Request(u"gst"));
  ASSERT_TRUE(dialog.Create());
  ASSERT_TRUE(RunUntil([&] { return Mapped(dialog); }));
  GtkWindow* window = dialog.Window();
  EXPECT_STREQ(gtk_window_get_title(window), "岚岫奇谭 - 2服");
  EXPECT_FALSE(gtk_window_get_decorated(window));
  EXPECT_NE(gtk_window_get_icon(window), nullptr);
  EXPECT_EQ(gtk_widget_get_allocated_height(GTK_WIDGET(window)), 500);
  EXPECT_EQ(ButtonIds(dialog.Frame()),
            (std::vector<int32_t>{kCaptionCloseButton, kCaptionMaximizeButton,
                                  kCaptionMinimizeButton, kCaptionBindButton, kCaptionGreeting}));
  const CDUIButton* greeting = dialog.Frame().Button(kCaptionGreeting);
  EXPECT_EQ(greeting->text, u"游客,您好!");
  EXPECT_NE(greeting->strip, nullptr);
  // Laid out for the real width.
  EXPECT_EQ(dialog.Frame().Button(kCaptionBindButton)->rect, (Rect{610, 5, 710, 30}));
  EXPECT_EQ(greeting->rect, (Rect{460, 5, 600, 30}));

  // The browser fills the client area inside the frame.
  GtkAllocation view{};
  gtk_widget_get_allocation(GTK_WIDGET(dialog.WebView()), &view);
  EXPECT_EQ(view.x, kBorderWidth);
  EXPECT_EQ(view.y, kCaptionHeight);
  EXPECT_EQ(view.width, 800 - 2 * kBorderWidth);
  EXPECT_EQ(view.height, 500 - kCaptionHeight - kBorderWidth);
}

// The frame is painted by the window itself: image 164's caption band, the bold white title
// and the caption buttons, with the page over the client area.
TEST_F(GameWindow, WindowPaintsItsFrameAroundThePage) {
  CWebGameDlg dialog(Request(u"gst"));
  ASSERT_TRUE(dialog.Create());
  ASSERT_TRUE(RunUntil([&] { return Mapped(dialog); }));
  GtkWidget* window = GTK_WIDGET(dialog.Window());
  EXPECT_EQ(g_object_get_data(G_OBJECT(window), kSkinFrameProperty), &dialog.FrameHost());
  EXPECT_FALSE(dialog.FrameHost().Attach(dialog.Window(), {}));  // one frame per window

  cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 800, 500);
  cairo_t* cr = cairo_create(shot);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  cairo_surface_flush(shot);
  const auto* pixels = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(shot));
  const int stride = cairo_image_surface_get_stride(shot) / 4;
  auto at = [&](int x, int y) { return pixels[y * stride + x] | 0xFF000000u; };

  ASSERT_NE(dialog.Frame().FrameImage(), nullptr);
  const ImagePixels frame_image = dialog.Frame().FrameImage()->ReadPixels();
  EXPECT_EQ(at(400, 30), frame_image.At(52, 30) | 0xFF000000u);  // caption band
  EXPECT_EQ(at(3, 300), frame_image.At(3, 40) | 0xFF000000u);    // left edge
  int bright = 0;                                                // title text
  for (int y = 10; y < 26; ++y)
    for (int x = 31; x < 200; ++x) bright += (at(x, y) & 0xFF) > 200;
  EXPECT_GT(bright, 20);
  ASSERT_NE(dialog.Frame().Button(kCaptionCloseButton)->strip, nullptr);
  const ImagePixels close_strip = dialog.Frame().Button(kCaptionCloseButton)->strip->ReadPixels();
  int close_matches = 0;  // the close button's normal frame, stretched into its rectangle
  for (int y = 6; y < 26; ++y)
    for (int x = 771; x < 789; ++x)
      close_matches += at(x, y) == (close_strip.At(x - 770, y - 6) | 0xFF000000u);
  EXPECT_GT(close_matches, 200);
  cairo_surface_destroy(shot);
}

TEST_F(GameWindow, NamedPlayerGetsThePayButtonAndTheNameEvenInCapitals) {
  for (const std::u16string name : {u"GST", u"风起云涌"}) {
    CWebGameDlg dialog(Request(name));
    ASSERT_TRUE(dialog.Create());
    ASSERT_TRUE(RunUntil([&] { return Mapped(dialog); }));
    EXPECT_EQ(ButtonIds(dialog.Frame()),
              (std::vector<int32_t>{kCaptionCloseButton, kCaptionMaximizeButton,
                                    kCaptionMinimizeButton, kCaptionPayButton, kCaptionGreeting}));
    EXPECT_EQ(dialog.Frame().Button(kCaptionGreeting)->text, name);
    EXPECT_EQ(dialog.Frame().Button(kCaptionPayButton)->rect, (Rect{630, 5, 710, 30}));
  }
}

TEST_F(GameWindow, NewWindowsBecomeGuestLinksAndNothingOpensInside) {
  std::vector<std::u16string> opened;
  CWebGameDlg dialog(Request(u"gst"));
  dialog.open_new_window = [&](std::u16string_view uri) { opened.emplace_back(uri); };
  ASSERT_TRUE(dialog.Create());
  WebKitWebView* view = dialog.WebView();
  ASSERT_TRUE(RunUntil([&] { return !WebKit().webkit_web_view_is_loading(view); }));
  const std::string loaded = WebKit().webkit_web_view_get_uri(view);
  auto toplevels = [] {
    GList* list = gtk_window_list_toplevels();
    const guint count = g_list_length(list);
    g_list_free(list);
    return count;
  };
  const guint windows_before = toplevels();
  WebKit().webkit_web_view_evaluate_javascript(view, "window.open('https://games.example/pay?x=1')",
                                               -1, nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(RunUntil([&] { return opened.size() == 1; }));
  EXPECT_EQ(opened[0], u"https://games.example/pay?x=1");
  WebKit().webkit_web_view_evaluate_javascript(view, "document.getElementById('a').click()", -1,
                                               nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(RunUntil([&] { return opened.size() == 2; }));
  EXPECT_EQ(opened[1], u"https://games.example/news?id=7");
  RunUntil([] { return false; }, 1);  // time for a stray window or navigation to show up
  EXPECT_EQ(opened.size(), 2u);
  EXPECT_EQ(toplevels(), windows_before);
  EXPECT_EQ(WebKit().webkit_web_view_get_uri(view), loaded);
  EXPECT_FALSE(dialog.Closed());
}

TEST_F(GameWindow, ClosingEndsTheLoop) {
  CWebGameDlg dialog(Request(u"gst"));
  ASSERT_TRUE(dialog.Create());
  ASSERT_TRUE(RunUntil([&] { return Mapped(dialog); }));
  // The close button's action, the way the frame performs it.
  g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        static_cast<CWebGameDlg*>(data)->FrameHost().Perform(CaptionAction::kClose,
                                                             kCaptionCloseButton);
        return G_SOURCE_REMOVE;
      },
      &dialog);
  dialog.Run();
  EXPECT_TRUE(dialog.Closed());
  EXPECT_EQ(dialog.WebView(), nullptr);
}

TEST_F(GameWindow, MaximisedStartComesBackTo980By600) {
  GameWindowRequest request = Request(u"gst");
  request.start_maximized = 1;
  CWebGameDlg dialog(request);
  ASSERT_TRUE(dialog.Create());
  int width = 0, height = 0;
  gtk_window_get_default_size(dialog.Window(), &width, &height);
  EXPECT_EQ(width, 980);
  EXPECT_EQ(height, 600);
}

TEST_F(GameWindow, RequestsLargerThanTheScreenOrNotPositiveAreKeptSane) {
  GdkRectangle work{0, 0, 0, 0};
  gdk_monitor_get_workarea(gdk_display_get_primary_monitor(gdk_display_get_default()), &work);
  ASSERT_GT(work.width, 0);
  const std::pair<int, int> requests[] = {{12000, 12000}, {-5, -5}};
  for (const auto& [w, h] : requests) {
    GameWindowRequest request = Request(u"gst");
    request.width = w;
    request.height = h;
    CWebGameDlg dialog(request);
    ASSERT_TRUE(dialog.Create());
    int width = 0, height = 0;
    gtk_window_get_default_size(dialog.Window(), &width, &height);
    EXPECT_GT(width, 100) << w;
    EXPECT_LE(width, work.width) << w;
    EXPECT_GE(height, kMinFrameHeight) << h;
    EXPECT_LE(height, work.height) << h;
  }
}

TEST_F(GameWindow, BrowserThatCannotBeMadeIsReportedAndTheWindowCloses) {
  int told = 0;
  CWebGameDlg dialog(Request(u"gst"));
  dialog.create_browser = [] { return static_cast<WebKitWebView*>(nullptr); };
  dialog.show_create_failure = [&] { ++told; };
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(told, 1);
  EXPECT_TRUE(dialog.Closed());
  dialog.Run();  // returns at once: nothing left to run
}

TEST_F(GameWindow, CaptionItemsFollowThePlayerName) {
  auto make = [](std::u16string_view name) {
    SkinFrame frame;
    frame.AttachStyle({}, 600, nullptr);
    AddGameCaptionItems(frame, 600, name);
    return frame.Buttons();
  };
  auto guest = make(u"gst");
  ASSERT_TRUE(guest.count(kCaptionBindButton));
  EXPECT_EQ(guest.at(kCaptionBindButton).rect, RectXYWH(530, 8, 100, 25));
  EXPECT_EQ(guest.at(kCaptionBindButton).frame_count, 3);
  EXPECT_EQ(guest.at(kCaptionBindButton).strip->Width(), 300);
  EXPECT_EQ(guest.at(kCaptionGreeting).rect, RectXYWH(390, 8, 140, 25));
  auto named = make(u"Gst");
  ASSERT_TRUE(named.count(kCaptionPayButton));
  EXPECT_FALSE(named.count(kCaptionBindButton));
  EXPECT_EQ(named.at(kCaptionPayButton).strip->Width(), 240);
  EXPECT_EQ(named.at(kCaptionGreeting).text, u"Gst");
  EXPECT_EQ(named.at(kCaptionGreeting).rect, RectXYWH(410, 8, 140, 25));
}

}  // namespace
}  // namespace fernlite
