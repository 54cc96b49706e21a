// The bubble on a real (virtual) X screen over a private accessibility bus: a stand-in desktop
// program exposes its icons through AT-SPI, the bubble window stands beside one, and the test
// moves and removes it and clicks with synthetic input.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/web_engine_leaks.h"
#include "skin/icon_bubble_linux.h"
#include "skin/skin_art.h"

// Last: it brings Xlib, whose macros would rename what the headers above declare.
#include "fakes/accessible_desktop_linux.h"

namespace fernlite {

void PrintTo(const Rect& rect, std::ostream* out) {
  *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

namespace {

using test::AccessibilityBus;
using test::Child;
using test::Clock;
using test::ParseAt;
using test::Screen;
using test::WaitUntil;

bool Has(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& entry : list)
    if (entry == item) return true;
  return false;
}

AccessibilityBus* g_bus = nullptr;
bool g_ready = false;

class BusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!getenv("DISPLAY")) return;
    g_bus = new AccessibilityBus;
    g_ready = g_bus->Start() && gtk_init_check(nullptr, nullptr);
  }
  void TearDown() override {
    if (g_bus) g_bus->Stop();
    delete g_bus;
    g_bus = nullptr;
  }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new BusEnvironment);

constexpr char kChinese[] = "\xe5\xa5\x87\xe5\xb9\xbb";  // 奇幻
const std::u16string kChineseWide = u"\u5947\u5e7b";

// A label shows one bubble per process (its lock is held until exit): each bubble here has a
// label of its own, and the program does not survive --gtest_repeat.
class IconBubbleLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ASSERT_TRUE(g_ready) << "no private accessibility bus";
    ASSERT_TRUE(screen_.display());
  }

  // Starts a desktop and waits until its icon `label` can be found through the bus.
  void StartDesktop(Child& desktop, const std::vector<std::string>& args,
                    const std::string& label) {
    std::vector<std::string> argv{FERNLITE_TEST_DESKTOP_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_TRUE(desktop.Start(argv));
    ASSERT_TRUE(desktop.WaitLine("ready")) << "the test desktop did not start";
    if (!label.empty()) {
      ASSERT_TRUE(WaitUntil(30000, [&] { return FindIconRect(label).has_value(); }))
          << "the icon never appeared on the bus";
    }
  }

  // Runs the main loop (the bubble's or none) until `done`.
  static bool Pump(int ms, const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < end) {
      while (g_main_context_iteration(nullptr, FALSE)) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }

  Screen screen_;
  test::ScopedArtResources art_;
};

TEST_F(IconBubbleLinuxTest, TheFinderMatchesExactLabelsOnTheDesktopOnly) {
  Child frame;
  StartDesktop(frame, {"--frame", "Elsewhere", "600", "500"}, "");
  Child desktop;
  StartDesktop(desktop, {"Readme", "100", "120", kChinese, "400", "300"}, "Readme");

  const std::optional<Rect> readme = ParseAt(desktop.WaitLine("at Readme "));
  const std::optional<Rect> chinese = ParseAt(desktop.WaitLine(std::string("at ") + kChinese));
  ASSERT_TRUE(readme && chinese);
  EXPECT_GE(readme->left, 100);
  EXPECT_EQ(FindIconRect("Readme"), readme);
  EXPECT_EQ(FindIconRect(kChinese), chinese);
  // Byte for byte: no case folding, no extension, no trimming, no prefix.
  EXPECT_FALSE(FindIconRect("readme").has_value());
  EXPECT_FALSE(FindIconRect("README").has_value());
  EXPECT_FALSE(FindIconRect("Readme.desktop").has_value());
  EXPECT_FALSE(FindIconRect("Readme ").has_value());
  EXPECT_FALSE(FindIconRect("Read").has_value());
  EXPECT_FALSE(FindIconRect("").has_value());
  // An icon view in an ordinary window is not the desktop.
  EXPECT_FALSE(FindIconRect("Elsewhere").has_value());

  // The rectangle is read anew each time.
  const size_t before = desktop.LineCount();
  desktop.Send("move Readme 260 40");
  const std::optional<Rect> moved = ParseAt(desktop.WaitLine("at Readme ", before));
  ASSERT_TRUE(moved);
  EXPECT_NE(*moved, *readme);
  EXPECT_TRUE(WaitUntil(3000, [&] { return FindIconRect("Readme") == moved; }));

  // A desktop that is not on screen shows no icons.
  desktop.Send("hide");
  EXPECT_TRUE(WaitUntil(5000, [&] { return !FindIconRect("Readme").has_value(); }));
}

TEST_F(IconBubbleLinuxTest, TheBubbleStandsBesideTheIconFollowsItAndItsButtonEndsIt) {
  Child desktop;
  StartDesktop(desktop, {kChinese, "400", "300"}, kChinese);
  const std::optional<Rect> icon = ParseAt(desktop.WaitLine(std::string("at ") + kChinese));
  ASSERT_TRUE(icon);

  const ImagePixels left_art = test::ArtImage(kBubblePointerLeftImage, ImageType::Png).ReadPixels();
  const ImagePixels right_art =
      test::ArtImage(kBubblePointerRightImage, ImageType::Png).ReadPixels();
  // A pixel the right-pointing picture covers and the other does not, to tell the sides apart
  // on screen.
  int px = -1, py = -1;
  for (int y = 0; y < kBubbleHeight && px < 0; ++y)
    for (int x = 0; x < kBubbleWidth && px < 0; ++x)
      if ((right_art.At(x, y) >> 24) == 255 && (left_art.At(x, y) >> 24) == 0) px = x, py = y;
  ASSERT_GE(px, 0) << "the two pictures cover the same pixels";
  int ox = -1, oy = -1;
  for (int y = 5; y < 30 && ox < 0; ++y)
    for (int x = 20; x < 110 && ox < 0; ++x)
      if ((left_art.At(x, y) >> 24) == 255) ox = x, oy = y;
  ASSERT_GE(ox, 0) << "no opaque pixel in the art";

  // All four channels: the window has an alpha channel, and the picture is opaque there.
  auto near = [](uint32_t shown, uint32_t want) {
    for (int shift = 0; shift < 32; shift += 8)
      if (std::abs(static_cast<int>((shown >> shift) & 0xFF) -
                   static_cast<int>((want >> shift) & 0xFF)) > 24)
        return false;
    return true;
  };

  std::vector<std::string> failures;
  std::atomic<bool> shown{false}, ended{false};
  auto play = [&] {
    auto fail = [&](const std::string& what) { failures.push_back(what); };
    std::optional<Screen::Found> bubble;
    if (!WaitUntil(15000, [&] { return (bubble = screen_.ViewableBubble()).has_value(); }))
      return fail("no bubble window");
    shown = true;
    // Right of the icon, 10 pixels over it, level with its top.
    const Rect want = RectXYWH(icon->right - 10, icon->top, kBubbleWidth, kBubbleHeight);
    if (bubble->rect != want)
      fail("placed at " + std::to_string(bubble->rect.left) + "," +
           std::to_string(bubble->rect.top) + " size " + std::to_string(bubble->rect.Width()) +
           "x" + std::to_string(bubble->rect.Height()));
    const std::vector<std::string> state = screen_.AtomList(bubble->id, "_NET_WM_STATE");
    if (!Has(state, "_NET_WM_STATE_BELOW")) fail("not kept below");
    if (!Has(state, "_NET_WM_STATE_SKIP_TASKBAR") || !Has(state, "_NET_WM_STATE_SKIP_PAGER"))
      fail("listed in the taskbar or pager");
    if (screen_.TakesFocus(bubble->id)) fail("takes the focus");

    // Faded in: the window shows the picture's opaque pixel.
    const uint32_t want_pixel = left_art.At(ox, oy);
    if (!WaitUntil(5000, [&] {
          auto pixel = screen_.Pixel(bubble->id, ox, oy);
          return pixel && near(*pixel, want_pixel);
        }))
      fail("the window does not show the picture");

    // The icon moves near the right edge: the bubble follows to its left, with the other
    // picture.
    const size_t before = desktop.LineCount();
    desktop.Send(std::string("move ") + kChinese + " 1160 500");
    const std::optional<Rect> moved =
        ParseAt(desktop.WaitLine(std::string("at ") + kChinese, before));
    if (!moved) return fail("the desktop did not move the icon");
    const Rect left_of = RectXYWH(moved->left - 197, moved->top, kBubbleWidth, kBubbleHeight);
    if (!WaitUntil(4000, [&] {
          bubble = screen_.ViewableBubble();
          return bubble && bubble->rect == left_of;
        }))
      return fail("did not follow to the left of the icon");
    if (!WaitUntil(3000, [&] {
          auto pixel = screen_.Pixel(bubble->id, px, py);
          return pixel && near(*pixel, right_art.At(px, py));
        }))
      fail("the picture did not change sides");

    // A click outside the button does nothing.
    const Rect button = BubbleButtonRect(false);
    const int bx = left_of.left + (button.left + button.right) / 2;
    const int by = left_of.top + (button.top + button.bottom) / 2;
    screen_.MoveTo(left_of.left + 20, left_of.top + 50);
    screen_.Button(true);
    screen_.Button(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    if (!screen_.ViewableBubble()) return fail("a click beside the button closed it");
    // Pressed on the button, dragged off and back, released: that closes it.
    screen_.MoveTo(bx, by);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    screen_.Button(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    screen_.MoveTo(left_of.left - 60, left_of.top - 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    screen_.MoveTo(bx + 3, by + 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    screen_.Button(false);
  };
  std::thread player([&] {
    play();
    // Whatever went wrong above, the bubble must not outlive the test: with its icon gone it
    // ends.
    if (!WaitUntil(15000, [&] { return ended.load(); })) {
      failures.push_back("the bubble did not end");
      desktop.Terminate();
    }
  });

  // A second bubble for the same label, asked for while the first is on screen, is refused
  // at once.
  struct Asker {
    std::atomic<bool>* shown;
    std::function<void()> ask;
    bool asked = false;
  };
  std::atomic<int> second = -1;
  int second_looked = 0;
  std::chrono::milliseconds second_took{0};
  Asker asker{&shown, [&] {
                const auto start = Clock::now();
                // Were it let through, this one would show once and then fade out.
                second = RunIconBubble(kChineseWide, 0,
                                       {[&]() -> std::optional<Rect> {
                                          if (second_looked++ == 0) return Rect{0, 0, 1, 1};
                                          return std::nullopt;
                                        },
                                        [] { return 1280; }});
                second_took =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
              }};
  const guint asking = g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        auto* self = static_cast<Asker*>(data);
        if (!self->shown->load()) return G_SOURCE_CONTINUE;
        self->asked = true;
        self->ask();
        return G_SOURCE_REMOVE;
      },
      &asker);
  const auto start = Clock::now();
  const int result = RunIconBubble(kChineseWide, 0);
  ended = true;
  const auto took = Clock::now() - start;
  if (!asker.asked) g_source_remove(asking);
  player.join();
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(second.load(), 0);
  EXPECT_TRUE(asker.asked);
  EXPECT_EQ(second_looked, 0) << "the second bubble looked for its icon";
  EXPECT_LT(second_took.count(), 1000);
  EXPECT_LT(took, std::chrono::seconds(40));
  Pump(500, [] { return false; });
  EXPECT_FALSE(screen_.ViewableBubble().has_value()) << "the window outlived the bubble";
}

TEST_F(IconBubbleLinuxTest, ABubbleEndsWhenItsIconGoesAndNeverShowsWithoutOne) {
  Child desktop;
  StartDesktop(desktop, {"Readme", "100", "120", "Notes", "300", "120"}, "Readme");

  // No such icon: the bubble ends before it is ever on screen.
  std::atomic<bool> stop{false}, seen{false};
  std::thread watcher([&] {
    Screen screen;
    while (!stop) {
      if (screen.ViewableBubble()) seen = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  auto start = Clock::now();
  EXPECT_EQ(RunIconBubble(u"Nowhere", 0), 0);
  EXPECT_EQ(RunIconBubble(u"notes", 0), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop = true;
  watcher.join();
  EXPECT_FALSE(seen) << "a bubble without its icon was shown";

  // The icon is deleted from the desktop: the bubble fades out and ends.
  std::atomic<bool> shown{false};
  std::thread remover([&] {
    if (!WaitUntil(15000, [&] { return screen_.ViewableBubble().has_value(); })) return;
    shown = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    desktop.Send("remove Notes");
  });
  start = Clock::now();
  EXPECT_EQ(RunIconBubble(u"Notes", 0), 0);
  remover.join();
  EXPECT_TRUE(shown);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));

  // With no desktop at all it does not show either.
  desktop.Stop();
  ASSERT_TRUE(WaitUntil(10000, [&] { return !FindIconRect("Readme").has_value(); }));
  EXPECT_EQ(RunIconBubble(u"Readme", 0), 0);
  EXPECT_TRUE(WaitUntil(2000, [&] { return !screen_.Bubble().has_value(); }))
      << "an ended bubble left its window behind";
}

}  // namespace
}  // namespace fernlite
