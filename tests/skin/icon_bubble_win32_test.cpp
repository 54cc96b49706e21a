// The bubble on a real (virtual) screen: a test-made shell window tree whose list view answers
// the accessibility requests with the test's icons, the layered window beside them, real clicks.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fakes/com_doubles_win32.h"
#include "fakes/fake_shell_win32.h"
#include "platform/text.h"
#include "skin/icon_bubble_win32.h"
#include "skin/skin_art.h"

namespace fernlite {
namespace {

class IconBubbleWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
  static std::vector<test::DesktopIcon> Icons() {
    return {{L"Readme", {40, 40, 115, 115}}, {L"\x5947\x5e7b", {300, 200, 375, 275}}};
  }
  test::ScopedArtResources art_;
};

TEST_F(IconBubbleWin32Test, TheFinderWalksBothShellTreesAndMatchesNamesExactly) {
  {
    test::FakeShell shell(test::FakeShell::Tree::kProgman, Icons());
    ASSERT_NE(shell.list(), nullptr);
    EXPECT_EQ(FindDesktopListView(), shell.list());
    const std::optional<Rect> rect = FindIconRect(ToAnsi(u"\u5947\u5e7b"));
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(*rect, (Rect{300, 200, 375, 275}));
    EXPECT_EQ(FindIconRect("Readme"), (Rect{40, 40, 115, 115}));
    EXPECT_FALSE(FindIconRect("readme").has_value());
    EXPECT_FALSE(FindIconRect("Readme.lnk").has_value());
    EXPECT_FALSE(FindIconRect("").has_value());
    ShowWindow(shell.list(), SW_HIDE);
    EXPECT_FALSE(FindIconRect("Readme").has_value());
  }
  if (HWND other = FindWindowW(L"progman", nullptr);
      other && FindWindowExW(other, nullptr, L"SHELLDLL_DefView", nullptr)) {
    GTEST_SKIP() << "this desktop has a shell view under progman already";
  }
  test::FakeShell shell(test::FakeShell::Tree::kWorkerW, Icons());
  EXPECT_EQ(FindDesktopListView(), shell.list());
  EXPECT_EQ(FindIconRect("Readme"), (Rect{40, 40, 115, 115}));
}

RECT RectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool WaitUntil(DWORD ms, const std::function<bool()>& done) {
  for (const DWORD end = GetTickCount() + ms; static_cast<LONG>(end - GetTickCount()) > 0;) {
    if (done()) return true;
    Sleep(20);
  }
  return done();
}

TEST_F(IconBubbleWin32Test, TheBubbleStandsBesideTheIconFollowsItAndItsButtonEndsIt) {
  test::FakeShell shell(test::FakeShell::Tree::kProgman, Icons());
  std::atomic<int> second_result{-1};
  std::vector<std::string> failures;
  std::thread player([&] {
    auto fail = [&](const std::string& what) { failures.push_back(what); };
    HWND bubble = test::WaitForBubbleWindow(5000);
    if (!bubble) return fail("no bubble window");
    // Right of the icon, 10 pixels over it, level with its top, layered and a tool window.
    RECT rect = RectOf(bubble);
    if (rect.left != 365 || rect.top != 200 || rect.right - rect.left != 207 ||
        rect.bottom - rect.top != 75)
      fail("placed at " + std::to_string(rect.left) + "," + std::to_string(rect.top));
    const LONG_PTR extended = GetWindowLongPtrW(bubble, GWL_EXSTYLE);
    if (!(extended & WS_EX_LAYERED) || !(extended & WS_EX_TOOLWINDOW)) fail("styles");
    // A second bubble for the same label is refused at once.
    second_result = RunIconBubble(u"\u5947\u5e7b", SW_SHOWNOACTIVATE,
                                  {[] {
                                     return std::optional<Rect>(Rect{0, 0, 1, 1});
                                   },
                                   [] { return 1280; }});

    // Faded in: an opaque pixel of the picture is on screen.
    Sleep(700);
    const ImagePixels art = test::ArtImage(kBubblePointerLeftImage, ImageType::Png).ReadPixels();
    int ox = -1, oy = -1;
    for (int y = 5; y < 30 && ox < 0; ++y)
      for (int x = 20; x < 110 && ox < 0; ++x)
        if ((art.At(x, y) >> 24) == 255) ox = x, oy = y;
    if (ox < 0) return fail("no opaque pixel in the art");
    HDC screen = GetDC(nullptr);
    const COLORREF shown = GetPixel(screen, 365 + ox, 200 + oy);
    ReleaseDC(nullptr, screen);
    const uint32_t want = art.At(ox, oy);
    if (std::abs(static_cast<int>(GetRValue(shown)) - static_cast<int>((want >> 16) & 0xFF)) > 24 ||
        std::abs(static_cast<int>(GetBValue(shown)) - static_cast<int>(want & 0xFF)) > 24)
      fail("screen pixel " + std::to_string(shown) + " is not the picture's");

    // The icon moves near the right edge: the bubble follows to its left.
    const int right_edge = GetSystemMetrics(SM_CXFULLSCREEN);
    shell.MoveIcon(L"\x5947\x5e7b", {right_edge - 150, 300, right_edge - 75, 375});
    if (!WaitUntil(3000, [&] { return RectOf(bubble).left == right_edge - 150 - 197; }))
      fail("did not follow: at " + std::to_string(RectOf(bubble).left));
    if (!WaitUntil(1000, [&] { return RectOf(bubble).top == 300; })) fail("top not followed");
    Sleep(300);  // grown again

    // A click outside the button does nothing; one on it (116 + 33 on this side) ends it.
    rect = RectOf(bubble);
    test::MouseTo(rect.left + 20, rect.top + 50);
    test::MouseButton(true);
    test::MouseButton(false);
    Sleep(600);
    if (!IsWindow(bubble)) return fail("a click beside the button closed it");
    test::MouseTo(rect.left + 116 + 33, rect.top + 47);
    Sleep(100);
    test::MouseButton(true);
    Sleep(50);
    test::MouseButton(false);
  });
  const DWORD start = GetTickCount();
  const int result = RunIconBubble(u"\u5947\u5e7b", SW_SHOWNOACTIVATE);
  const DWORD took = GetTickCount() - start;
  player.join();
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(second_result.load(), 0);
  EXPECT_LT(took, 15000u);
  EXPECT_EQ(FindWindowW(kBubbleWindowClass, nullptr), nullptr);
}

TEST_F(IconBubbleWin32Test, ABubbleEndsUnseenWithoutItsIconAndFadesWhenTheIconGoes) {
  test::FakeShell shell(test::FakeShell::Tree::kProgman, Icons());
  // No such icon: no window is ever shown.
  EXPECT_EQ(RunIconBubble(u"Nowhere", SW_SHOWNOACTIVATE), 0);
  EXPECT_EQ(FindWindowW(kBubbleWindowClass, nullptr), nullptr);

  std::atomic<bool> seen{false};
  std::thread remover([&] {
    if (!test::WaitForBubbleWindow(5000)) return;
    seen = true;
    Sleep(800);
    shell.RemoveIcon(L"Readme");  // deleted from the desktop
  });
  EXPECT_EQ(RunIconBubble(u"Readme", SW_SHOWNOACTIVATE), 0);
  remover.join();
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace fernlite
