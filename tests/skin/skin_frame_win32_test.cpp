// The skinned frame on a real Win32 window: the non-client answers the subclass gives, the
// region and sizes it sets, clicks through real input, and what its paint leaves on the window.
#include "skin/skin_frame_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/com_doubles_win32.h"
#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "game/game_window.h"
#include "game/guest_link.h"
#include "skin/drawing_win32.h"
#include "skin/images.h"

namespace fernlite {
namespace {

using test::MouseButton;
using test::MouseTo;

constexpr int kLeft = 100, kTop = 80, kWidth = 640, kHeight = 400;
constexpr DWORD kFullStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kCloseOnlyStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
constexpr wchar_t kClassName[] = L"FernliteSkinFrameTest";
constexpr COLORREF kIconColour = RGB(0, 0, 255);

// What the window's own procedure saw.
struct Seen {
  int menu_popups = 0;
  int menu_loops = 0;
  std::vector<WPARAM> commands;
  std::vector<WPARAM> sizes;
  std::vector<WPARAM> sys_commands;
};

LRESULT CALLBACK OwnProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (auto* seen = reinterpret_cast<Seen*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
    if (message == WM_INITMENUPOPUP) ++seen->menu_popups;
    if (message == WM_ENTERMENULOOP) ++seen->menu_loops;
    if (message == WM_COMMAND) seen->commands.push_back(wparam);
    if (message == WM_SIZE) seen->sizes.push_back(wparam);
    if (message == WM_SYSCOMMAND) seen->sys_commands.push_back(wparam & 0xFFF0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Pump(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

// Pumps until the condition holds or the time is up; whether it held.
template <class Condition>
bool PumpUntil(int ms, Condition condition) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (!condition()) {
    if (static_cast<LONG>(end - GetTickCount()) <= 0) return false;
    Pump(20);
  }
  return true;
}

// Real input comes from outside the thread: a press on the caption starts the system's move
// loop, a click on the icon the menu's, and either waits for the release inside the dispatch.
// So the input is sent from another thread while this one pumps.
template <class Script>
void PlayInput(Script script) {
  std::atomic<bool> done{false};
  std::thread player([&] {
    script();
    done = true;
  });
  PumpUntil(5000, [&] { return done.load(); });
  player.join();
  Pump(150);
}

void Click(POINT at) {
  PlayInput([at] {
    MouseTo(at.x, at.y);
    Sleep(80);
    MouseButton(true);
    Sleep(60);
    MouseButton(false);
  });
}

void DoubleClick(POINT at) {
  PlayInput([at] {
    MouseTo(at.x, at.y);
    Sleep(80);
    for (int i = 0; i < 2; ++i) {
      MouseButton(true);
      Sleep(30);
      MouseButton(false);
      Sleep(30);
    }
  });
}

// A small icon of one colour, drawn through its mask.
HICON SolidIcon(COLORREF colour) {
  HDC screen = GetDC(nullptr);
  HBITMAP image = CreateCompatibleBitmap(screen, kSmallIconSize, kSmallIconSize);
  HBITMAP mask = CreateBitmap(kSmallIconSize, kSmallIconSize, 1, 1, nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, image);
  HBRUSH brush = CreateSolidBrush(colour);
  const RECT all{0, 0, kSmallIconSize, kSmallIconSize};
  FillRect(memory, &all, brush);
  SelectObject(memory, mask);
  PatBlt(memory, 0, 0, kSmallIconSize, kSmallIconSize, BLACKNESS);  // opaque everywhere
  SelectObject(memory, old);
  DeleteObject(brush);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  ICONINFO info{TRUE, 0, 0, mask, image};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(image);
  DeleteObject(mask);
  return icon;
}

COLORREF Straight(uint32_t argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

bool Near(COLORREF a, COLORREF b, int tolerance = 8) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

class SkinnedWindow {
 public:
  SkinnedWindow(DWORD style, std::u16string_view player) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = OwnProcedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = kClassName;
    RegisterClassW(&window_class);  // fails harmlessly once registered
    // Made smaller than it ends up, so the first real size reaches the frame.
    window_ = CreateWindowExW(0, kClassName, L"Skin", style, kLeft, kTop, kWidth / 2, kHeight / 2,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
    icon_ = SolidIcon(kIconColour);
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    attached_ = skin.Attach(window_);
    AddGameCaptionItems(frame, kWidth / 2, player);
    SetWindowPos(window_, nullptr, kLeft, kTop, kWidth, kHeight,
                 SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    SetForegroundWindow(window_);
    Pump(150);
  }
  ~SkinnedWindow() {
    if (IsWindow(window_)) DestroyWindow(window_);
    DestroyIcon(icon_);
  }
  SkinnedWindow(const SkinnedWindow&) = delete;
  SkinnedWindow& operator=(const SkinnedWindow&) = delete;

  HWND window() const { return window_; }
  bool attached() const { return attached_; }

  RECT Box() const {
    RECT rect{};
    GetWindowRect(window_, &rect);
    return rect;
  }
  // A point given in window coordinates, on the screen.
  POINT Screen(int x, int y) const {
    const RECT box = Box();
    return POINT{box.left + x, box.top + y};
  }
  // A point measured from the window's top-right corner.
  POINT FromRight(int dx, int y) const {
    const RECT box = Box();
    return POINT{box.right - dx, box.top + y};
  }
  int Width() const { return Box().right - Box().left; }

  LRESULT HitTest(POINT screen) const {
    return SendMessageW(window_, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
  }
  LRESULT OwnHitTest(POINT screen) const {
    return DefWindowProcW(window_, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
  }

  COLORREF Pixel(int x, int y) const {
    HDC dc = GetWindowDC(window_);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window_, dc);
    return colour;
  }

  Seen seen;
  SkinFrame frame;
  Win32SkinFrame skin{frame};

 private:
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  bool attached_ = false;
};

class SkinFrameWin32 : public ::testing::Test {
 protected:
  // One drawing session for all: the image cache keeps what it decoded in the first.
  static void SetUpTestSuite() { services_ = new test::ScopedServices; }
  static void TearDownTestSuite() {
    delete services_;
    services_ = nullptr;
  }
  void SetUp() override { MouseTo(2, 2); }  // nothing hovered at the start

  static test::ScopedServices* services_;  // COM and the drawing library
};
test::ScopedServices* SkinFrameWin32::services_ = nullptr;

TEST_F(SkinFrameWin32, AttachTakesTheWindowOnceAndDetachGivesItBack) {
  SkinnedWindow skinned(kFullStyle, u"gst");
  ASSERT_TRUE(skinned.attached());
  HWND window = skinned.window();
  EXPECT_EQ(GetPropW(window, kSkinFrameProperty), &skinned.skin);
  EXPECT_EQ(skinned.skin.Window(), window);
  EXPECT_EQ(skinned.frame.Buttons().size(), 5u);  // three system buttons, two caption items

  // One frame per window: another is refused and changes nothing.
  SkinFrame other_frame;
  Win32SkinFrame other(other_frame);
  EXPECT_FALSE(other.Attach(window));
  EXPECT_EQ(other.Window(), nullptr);
  EXPECT_EQ(GetPropW(window, kSkinFrameProperty), &skinned.skin);

  skinned.skin.Detach();
  skinned.skin.Detach();
  EXPECT_EQ(GetPropW(window, kSkinFrameProperty), nullptr);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&OwnProcedure));
  // The system's own answer again.
  const POINT close = skinned.FromRight(20, 15);
  EXPECT_EQ(skinned.HitTest(close), skinned.OwnHitTest(close));

  // Free again for a frame; destroying the window lets go of it.
  ASSERT_TRUE(other.Attach(window));
  DestroyWindow(window);
  EXPECT_EQ(other.Window(), nullptr);
}

TEST_F(SkinFrameWin32, HitTestingForBothCaptionLayouts) {
  for (const std::u16string_view player : {u"gst", u"Alice"}) {
    SCOPED_TRACE(player == u"gst" ? "guest" : "named");
    SkinnedWindow skinned(kFullStyle, player);
    ASSERT_TRUE(skinned.attached());
    EXPECT_EQ(skinned.HitTest(skinned.FromRight(20, 15)), HTCLOSE);
    EXPECT_EQ(skinned.HitTest(skinned.FromRight(42, 15)), HTMAXBUTTON);
    EXPECT_EQ(skinned.HitTest(skinned.FromRight(64, 15)), HTMINBUTTON);
    EXPECT_EQ(skinned.HitTest(skinned.Screen(20, 20)), HTSYSMENU);
    // The band beside and below the system buttons drags, up to the right border.
    EXPECT_EQ(skinned.HitTest(skinned.FromRight(40, 32)), HTCAPTION);
    EXPECT_EQ(skinned.HitTest(skinned.FromRight(8, 20)), HTCAPTION);
    // The account items and everything else are the window's own business.
    const POINT account = skinned.FromRight(player == u"gst" ? 140 : 130, 15);
    const POINT label = skinned.FromRight(250, 15);
    const POINT border = skinned.Screen(3, 200);
    const POINT client = skinned.Screen(300, 200);
    for (const POINT point : {account, label, border}) {
      EXPECT_EQ(skinned.HitTest(point), skinned.OwnHitTest(point)) << point.x << "," << point.y;
    }
    EXPECT_EQ(skinned.HitTest(client), HTCLIENT);
  }

  SkinnedWindow close_only(kCloseOnlyStyle, u"gst");
  ASSERT_TRUE(close_only.attached());
  EXPECT_EQ(close_only.frame.Button(kCaptionMaximizeButton), nullptr);
  EXPECT_EQ(close_only.HitTest(close_only.FromRight(20, 15)), HTCLOSE);
  EXPECT_EQ(close_only.HitTest(close_only.FromRight(42, 15)), HTCAPTION);
  EXPECT_EQ(close_only.HitTest(close_only.FromRight(64, 15)), HTCAPTION);
}

TEST_F(SkinFrameWin32, FrameSizesClientAreaRegionAndMinimumHeight) {
  SkinnedWindow skinned(kFullStyle, u"gst");
  ASSERT_TRUE(skinned.attached());
  HWND window = skinned.window();

  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const RECT box = skinned.Box();
  EXPECT_EQ(origin.x, box.left + kBorderWidth);
  EXPECT_EQ(origin.y, box.top + kCaptionHeight);
  EXPECT_EQ(client.right, kWidth - 2 * kBorderWidth);
  EXPECT_EQ(client.bottom, kHeight - kCaptionHeight - kBorderWidth);

  // Resized: rounded corners of the new size, buttons at the new right edge.
  const int w = 500, h = 300;
  SetWindowPos(window, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
  Pump(50);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 0, 0));
  EXPECT_TRUE(PtInRegion(region, 2, 2));
  EXPECT_FALSE(PtInRegion(region, w - 1, 0));
  EXPECT_TRUE(PtInRegion(region, w - 3, 2));
  EXPECT_FALSE(PtInRegion(region, 0, h - 1));
  EXPECT_TRUE(PtInRegion(region, 2, h - 3));
  EXPECT_FALSE(PtInRegion(region, w - 1, h - 1));
  EXPECT_TRUE(PtInRegion(region, w - 3, h - 3));
  EXPECT_TRUE(PtInRegion(region, w / 2, 0));
  EXPECT_TRUE(PtInRegion(region, w - 1, h / 2));
  DeleteObject(region);
  EXPECT_EQ(skinned.frame.Button(kCaptionCloseButton)->rect, (Rect{w - 30, 5, w - 10, 27}));
  EXPECT_EQ(skinned.HitTest(skinned.FromRight(20, 15)), HTCLOSE);

  MINMAXINFO limits{};
  limits.ptMinTrackSize = {100, 100};
  SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.y, kMinFrameHeight);
  // Sizing goes no shorter than the caption and the bottom border.
  SetWindowPos(window, nullptr, 0, 0, w, 10, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_GE(skinned.Box().bottom - skinned.Box().top, kMinFrameHeight);
}

// The first entry a list gained from `from` on, or -1.
WPARAM FirstFrom(const std::vector<WPARAM>& list, size_t from) {
  return from < list.size() ? list[from] : static_cast<WPARAM>(-1);
}

TEST_F(SkinFrameWin32, SystemButtonsAndCaptionClicks) {
  {
    SkinnedWindow skinned(kFullStyle, u"gst");
    ASSERT_TRUE(skinned.attached());
    HWND window = skinned.window();
    Seen& seen = skinned.seen;

    // Without a window manager the X driver may undo a maximise a little later, so each
    // toggle is judged by the first change it made from the state it found.
    for (int round = 0; round < 2; ++round) {
      const bool zoomed = IsZoomed(window) != FALSE;
      const size_t before = seen.sizes.size();
      DoubleClick(skinned.FromRight(40, 32));
      EXPECT_EQ(FirstFrom(seen.sizes, before),
                static_cast<WPARAM>(zoomed ? SIZE_RESTORED : SIZE_MAXIMIZED))
          << "round " << round;
    }
    ShowWindow(window, SW_RESTORE);
    Pump(100);

    // The greeting is a plain caption button: a double click there toggles nothing, and each
    // click of the two reaches the window as the label's command.
    size_t before = seen.sizes.size();
    DoubleClick(skinned.FromRight(250, 15));
    EXPECT_EQ(seen.sizes.size(), before);
    EXPECT_TRUE(PumpUntil(300, [&] { return !seen.commands.empty(); }));
    for (WPARAM command : seen.commands) EXPECT_EQ(command, WPARAM{kCaptionGreeting});

    for (int round = 0; round < 2; ++round) {
      const bool zoomed = IsZoomed(window) != FALSE;
      before = seen.sys_commands.size();
      Click(skinned.FromRight(42, 15));
      EXPECT_EQ(FirstFrom(seen.sys_commands, before),
                static_cast<WPARAM>(zoomed ? SC_RESTORE : SC_MAXIMIZE))
          << "round " << round;
    }
    ShowWindow(window, SW_RESTORE);
    Pump(100);
    Click(skinned.FromRight(64, 15));
    EXPECT_TRUE(PumpUntil(500, [&] { return IsIconic(window) != FALSE; }));
    ShowWindow(window, SW_RESTORE);
    Pump(100);

    Click(skinned.FromRight(20, 15));
    EXPECT_TRUE(PumpUntil(500, [&] { return !IsWindow(window); }));
    EXPECT_EQ(skinned.skin.Window(), nullptr);
  }

  // Without the boxes only the close button acts; where the others would be, the caption is.
  SkinnedWindow close_only(kCloseOnlyStyle, u"gst");
  ASSERT_TRUE(close_only.attached());
  Click(close_only.FromRight(42, 15));
  EXPECT_EQ(std::count(close_only.seen.sys_commands.begin(), close_only.seen.sys_commands.end(),
                       WPARAM{SC_MAXIMIZE}),
            0);
  EXPECT_FALSE(IsZoomed(close_only.window()));
}

// The menu's window while it is open, and the menu closed again.
HWND g_menu = nullptr;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu)) {
    g_menu = menu;
    EndMenu();
  }
}

TEST_F(SkinFrameWin32, IconOpensTheSystemMenu) {
  SkinnedWindow skinned(kFullStyle, u"gst");
  ASSERT_TRUE(skinned.attached());
  g_menu = nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 150, CloseMenu);
  Click(skinned.Screen(20, 20));
  PumpUntil(1000, [] { return g_menu != nullptr; });
  KillTimer(nullptr, timer);
  EXPECT_NE(g_menu, nullptr);
  EXPECT_GE(skinned.seen.menu_loops, 1);
  EXPECT_GE(skinned.seen.menu_popups, 1);
  EXPECT_TRUE(IsWindow(skinned.window()));  // closing the menu chose nothing
}

TEST_F(SkinFrameWin32, AccountButtonsRunTheirActions) {
  test::FakeBrowser browser(false);
  {
    SkinnedWindow guest(kFullStyle, u"gst");
    ASSERT_TRUE(guest.attached());
    const POINT bind = guest.FromRight(140, 15);
    Click(bind);
    EXPECT_EQ(browser.Questions(), 1);
    EXPECT_TRUE(IsWindow(guest.window()));  // No: the game goes on
    browser.Answer(true);
    Click(bind);
    EXPECT_EQ(browser.Questions(), 2);
    EXPECT_TRUE(PumpUntil(500, [&] { return !IsWindow(guest.window()); }));
    EXPECT_TRUE(browser.Opened().empty());
  }

  SkinnedWindow named(kFullStyle, u"Alice");
  ASSERT_TRUE(named.attached());
  Click(named.FromRight(130, 15));
  ASSERT_EQ(browser.Opened().size(), 1u);
  const RunSettings& settings = Settings();
  const std::u16string pay = BuildPayAddress(GameHostBase(), settings.GameCode, settings.ServerID);
  EXPECT_NE(browser.Opened()[0].find(u"goto=" + PercentEncodeUtf8(pay)), std::u16string::npos);
  EXPECT_TRUE(IsWindow(named.window()));

  // A caption action set by the window replaces the default one.
  int pays = 0;
  named.skin.on_pay = [&] { ++pays; };
  Click(named.FromRight(130, 15));
  EXPECT_EQ(pays, 1);
  EXPECT_EQ(browser.Opened().size(), 1u);
}

TEST_F(SkinFrameWin32, PaintShowsTheFrameAndKeepsItsSurface) {
  SkinnedWindow skinned(kFullStyle, u"gst");
  ASSERT_TRUE(skinned.attached());
  const Image frame_image = LoadResourceImage(kFrameImageId, ImageType::Png);
  const Image close_strip = LoadResourceImage(kCloseStripId, ImageType::Bitmap);
  ASSERT_FALSE(frame_image.Empty());
  ASSERT_FALSE(close_strip.Empty());
  const ImagePixels frame_pixels = frame_image.ReadPixels();
  const ImagePixels strip_pixels = close_strip.ReadPixels();
  ASSERT_EQ(frame_pixels.width, 594);
  ASSERT_EQ(strip_pixels.width, 66);

  skinned.skin.PaintFrame();
  const HBITMAP first = SurfaceBitmap(skinned.skin.Surface());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(skinned.skin.Surface().Width(), kWidth);
  EXPECT_EQ(skinned.skin.Surface().Height(), kHeight);

  // The stretched band, between the title and the greeting.
  const int band_y = 34;
  EXPECT_TRUE(Near(skinned.Pixel(200, band_y), Straight(frame_pixels.At(52, band_y))))
      << std::hex << skinned.Pixel(200, band_y) << " " << frame_pixels.At(52, band_y);
  // The icon, drawn from its mask.
  EXPECT_TRUE(Near(skinned.Pixel(18, 16), kIconColour)) << std::hex << skinned.Pixel(18, 16);
  // The close button's normal frame: somewhere near the matching strip pixel.
  const int dx = 10, dy = 11;  // of the 20 x 22 button
  const COLORREF shown = skinned.Pixel(kWidth - 30 + dx, 5 + dy);
  bool matched = false;
  for (int sy = dy * 20 / 22 - 1; sy <= dy * 20 / 22 + 1; ++sy) {
    for (int sx = dx * 22 / 20 - 1; sx <= dx * 22 / 20 + 1; ++sx)
      matched = matched || Near(shown, Straight(strip_pixels.At(sx, sy)), 4);
  }
  EXPECT_TRUE(matched) << std::hex << shown;
  // The client area is the window's own.
  EXPECT_EQ(skinned.Pixel(300, 200), RGB(255, 255, 255));

  // Painting again draws into the same surface; a new size makes a new one.
  skinned.skin.PaintFrame();
  SendMessageW(skinned.window(), WM_NCPAINT, 1, 0);
  EXPECT_EQ(SurfaceBitmap(skinned.skin.Surface()), first);
  SetWindowPos(skinned.window(), nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
  Pump(50);
  EXPECT_EQ(skinned.skin.Surface().Width(), 500);
  EXPECT_EQ(skinned.skin.Surface().Height(), 300);
}

}  // namespace
}  // namespace fernlite
