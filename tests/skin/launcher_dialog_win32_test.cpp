// The launcher's Win32 window on a real (virtual) screen: what the layered frame shows, real
// clicks on its buttons, and dragging with the page dialog following.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "fakes/com_doubles_win32.h"
#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "game/standard_dialog.h"
#include "skin/launcher_dialog_win32.h"
#include "skin/skin_art.h"

namespace fernlite {
namespace {

using test::MouseButton;
using test::MouseTo;

constexpr COLORREF kBackdrop = RGB(255, 0, 255);

// A plain window of one colour, so what the frame leaves see-through is known.
class Backdrop {
 public:
  Backdrop() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hbrBackground = CreateSolidBrush(kBackdrop);
    window_class.lpszClassName = L"FernliteTestBackdrop";
    RegisterClassW(&window_class);
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"FernliteTestBackdrop", L"", WS_POPUP, 0, 0,
                              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
  }
  ~Backdrop() { DestroyWindow(window_); }
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// The page dialog's stand-in: an owned popup, so the frame has a companion to keep in place.
class PlainPageWindow final : public StandardDialogWindow {
 public:
  bool Create(CStandardDialog&, NativeWindow owner) override {
    window_ =
        CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                        static_cast<HWND>(owner), nullptr, GetModuleHandleW(nullptr), nullptr);
    return window_ != nullptr;
  }
  NativeWindow Handle() const override { return window_; }
  void* Browser() const override { return nullptr; }
  ~PlainPageWindow() override {
    if (IsWindow(window_)) DestroyWindow(window_);
  }

 private:
  HWND window_ = nullptr;
};

// The launcher with the close button's hover image replaced by another glyph, so that a
// change of the chosen image shows on screen, and every recomposition counted.
class ObservedLauncher : public CFernliteDlg {
 public:
  using CFernliteDlg::CFernliteDlg;
  void InitControls() override {
    CFernliteDlg::InitControls();
    if (distinct_hover) {
      CloseButton().SetStateImages({kCloseGlyphImage, 0, kMinimizeGlyphImage, 0, 0},
                                   ImageType::Png);
      CloseButton().SetBounds(kCloseButtonRect);
    }
  }
  void RequestRender(CTranslucentWnd* sender) override {
    ++renders;
    CFernliteDlg::RequestRender(sender);
  }
  bool distinct_hover = false;
  int renders = 0;
};

void Pump(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // for the caller to see
        return;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

// The quit code posted by now, or -1.
int QuitCode(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
  return -1;
}

void Click(int x, int y) {
  MouseTo(x, y);
  Pump(150);
  MouseButton(true);
  Pump(100);
  MouseButton(false);
}

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return colour;
}

bool Near(COLORREF a, COLORREF b, int tolerance = 24) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// Straight colour of a premultiplied pixel of the art, as the screen shows it over anything.
COLORREF OpaqueColour(uint32_t premultiplied) {
  return RGB((premultiplied >> 16) & 0xFF, (premultiplied >> 8) & 0xFF, premultiplied & 0xFF);
}

class LauncherWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.GameTitle = u"岚岫奇谭";
    dialog_ = std::make_unique<ObservedLauncher>(kLauncherPngImage, ImageType::Png, settings_);
  }
  void TearDown() override {
    window_.reset();
    dialog_.reset();
    Pump(50);
  }

  // Creates the window; with_page gives it a companion window standing for the page dialog.
  HWND Open(bool with_page) {
    MouseTo(5, 5);  // away from where the frame's buttons will be
    window_ = std::make_unique<LauncherDialogWindow>(*dialog_);
    dialog_->make_background = [with_page](NativeWindow owner) {
      std::unique_ptr<CSTDBackgroundDlg> page;
      if (with_page) {
        page = std::make_unique<CSTDBackgroundDlg>(owner);
        page->AdoptWindow(std::make_unique<PlainPageWindow>());
      }
      return page;
    };
    HWND handle = window_->Create();
    Pump(300);
    return handle;
  }
  RECT WindowRect() const {
    RECT rect{};
    GetWindowRect(window_->Handle(), &rect);
    return rect;
  }

  test::ScopedServices services_;  // COM and the drawing library
  test::ScopedArtResources art_;
  Backdrop backdrop_;
  RunSettings settings_;
  std::unique_ptr<ObservedLauncher> dialog_;
  std::unique_ptr<LauncherDialogWindow> window_;
};

TEST_F(LauncherWindowTest, TheLayerShowsTheOrnamentAndLetsTheBackdropThroughElsewhere) {
  HWND window = Open(false);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION);
  const RECT rect = WindowRect();
  EXPECT_EQ(rect.right - rect.left, 661);
  EXPECT_EQ(rect.bottom - rect.top, 420);
  EXPECT_EQ(GetDlgItem(window, kCloseControlId) != nullptr, true);

  const ImagePixels frame = test::ArtImage(kLauncherPngImage, ImageType::Png).ReadPixels();
  // An opaque pixel of the ornament (left of the glyphs) and one the image leaves empty.
  int ox = -1, oy = -1;
  for (int y = 2; y < 24 && ox < 0; ++y)
    for (int x = 570; x < 592 && ox < 0; ++x)
      if ((frame.At(x, y) >> 24) == 255) ox = x, oy = y;
  ASSERT_GE(ox, 0) << "no opaque ornament pixel in the art";
  ASSERT_EQ(frame.At(330, 200) >> 24, 0u);
  EXPECT_TRUE(Near(ScreenPixel(rect.left + ox, rect.top + oy), OpaqueColour(frame.At(ox, oy))));
  EXPECT_TRUE(Near(ScreenPixel(rect.left + 330, rect.top + 200), kBackdrop));

  // The close glyph is drawn at its place.
  const ImagePixels glyph = test::ArtImage(kCloseGlyphImage, ImageType::Png).ReadPixels();
  int gx = -1, gy = -1;
  for (int y = 0; y < glyph.height && gx < 0; ++y)
    for (int x = 0; x < glyph.width && gx < 0; ++x)
      if ((glyph.At(x, y) >> 24) == 255) gx = x, gy = y;
  ASSERT_GE(gx, 0);
  EXPECT_TRUE(
      Near(ScreenPixel(rect.left + 627 + gx, rect.top + gy), OpaqueColour(glyph.At(gx, gy))));
  EXPECT_EQ(GetWindowTextLengthW(window), 4);  // the title shows on the task bar
}

TEST_F(LauncherWindowTest, HoverRecomposesOnlyWhenTheChosenImageChanges) {
  dialog_->distinct_hover = true;
  ASSERT_NE(Open(false), nullptr);
  const RECT rect = WindowRect();
  const int before = dialog_->renders;
  // A point where the two glyphs differ clearly (the hover one is stretched over 31 x 26).
  const ImagePixels close = test::ArtImage(kCloseGlyphImage, ImageType::Png).ReadPixels();
  const ImagePixels hover = test::ArtImage(kMinimizeGlyphImage, ImageType::Png).ReadPixels();
  int px = -1, py = -1;
  for (int y = 4; y < 22 && px < 0; ++y) {
    for (int x = 4; x < 27 && px < 0; ++x) {
      const uint32_t a = close.At(x, y), b = hover.At(x * 27 / 31, y * 22 / 26);
      if ((a >> 24) == 255 && (b >> 24) == 255 && !Near(OpaqueColour(a), OpaqueColour(b), 80) &&
          !Near(OpaqueColour(a), OpaqueColour(hover.At((x * 27 + 27) / 31, y * 22 / 26)), 80)) {
        px = x, py = y;
      }
    }
  }
  ASSERT_GE(px, 0);
  const COLORREF normal_look = ScreenPixel(rect.left + 627 + px, rect.top + py);
  MouseTo(rect.left + 627 + 15, rect.top + 13);
  Pump(300);
  EXPECT_EQ(dialog_->renders, before + 1);  // normal -> hover
  // The hover glyph is on screen now (stretched over the close glyph's rectangle).
  EXPECT_FALSE(Near(ScreenPixel(rect.left + 627 + px, rect.top + py), normal_look, 40));
  // Moving within the button keeps the hover image: nothing is composed again.
  MouseTo(rect.left + 627 + 17, rect.top + 14);
  Pump(200);
  EXPECT_EQ(dialog_->renders, before + 1);
  // The minimise button shows the same image in every state: hovering it composes nothing.
  MouseTo(rect.left + 595 + 13, rect.top + 11);
  Pump(300);
  EXPECT_EQ(dialog_->renders, before + 2);  // only the close button's leave
}

TEST_F(LauncherWindowTest, TheCloseButtonEndsTheLauncherWith18) {
  ASSERT_NE(Open(true), nullptr);
  const RECT rect = WindowRect();
  Click(rect.left + 627 + 15, rect.top + 13);
  EXPECT_EQ(QuitCode(2000), 18);
  EXPECT_TRUE(settings_.ExitAfterLauncher);  // closing is not a game start
  EXPECT_FALSE(IsWindow(window_->Handle()));
}

TEST_F(LauncherWindowTest, TheMinimizeButtonMinimizes) {
  HWND window = Open(false);
  ASSERT_NE(window, nullptr);
  const RECT rect = WindowRect();
  Click(rect.left + 595 + 13, rect.top + 11);
  Pump(500);
  EXPECT_TRUE(IsIconic(window));
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(LauncherWindowTest, ThePageDialogFollowsTheFrameToNegativeCoordinates) {
  HWND window = Open(true);
  ASSERT_NE(window, nullptr);
  auto* page = dialog_->OwnedBackground();
  ASSERT_NE(page, nullptr);
  HWND page_window = static_cast<HWND>(page->Handle());
  ASSERT_NE(page_window, nullptr);
  EXPECT_EQ(GetWindow(page_window, GW_OWNER), window);
  auto aligned = [&] {
    RECT frame{}, companion{};
    GetWindowRect(window, &frame);
    GetWindowRect(page_window, &companion);
    return frame.left == companion.left && frame.top == companion.top &&
           companion.right - companion.left == 661 && companion.bottom - companion.top == 420;
  };
  EXPECT_TRUE(aligned());

  // A real drag from the ornament, far enough to leave the screen on the left.
  const RECT rect = WindowRect();
  const int start_x = rect.left + 580, start_y = rect.top + 12;
  // The press starts the system's move loop inside this thread's dispatch, so the hand that
  // moves the mouse is another thread.
  std::thread hand([start_x, start_y] {
    MouseTo(start_x, start_y);
    Sleep(150);
    MouseButton(true);
    Sleep(150);
    for (int step = 1; step <= 10; ++step) {
      MouseTo(start_x - step * 60, start_y + step * 3);
      Sleep(40);
    }
    MouseButton(false);
  });
  Pump(2000);
  hand.join();
  Pump(200);
  const RECT moved = WindowRect();
  EXPECT_LT(moved.left, rect.left - 300);
  EXPECT_TRUE(aligned());

  SetWindowPos(window, nullptr, -250, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Pump(100);
  EXPECT_EQ(WindowRect().left, -250);
  EXPECT_TRUE(aligned());
}

TEST_F(LauncherWindowTest, JpgModeIsAnOrdinaryFramedWindowWithoutButtons) {
  dialog_ = std::make_unique<ObservedLauncher>(kLauncherJpgImage, ImageType::Jpg, settings_);
  HWND window = Open(false);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kCloseControlId)));
  const RECT rect = WindowRect();
  EXPECT_EQ(rect.right - rect.left, 600);
  EXPECT_EQ(rect.bottom - rect.top, 427);
}

TEST_F(LauncherWindowTest, TheStartRequestClearsTheExitFlagAndCloses) {
  HWND window = Open(true);
  ASSERT_NE(window, nullptr);
  SendMessageW(window, WM_USER + 1, 0, 0);
  SendMessageW(window, WM_USER + 1, 0, 0);  // twice before the window is gone: one close
  EXPECT_EQ(QuitCode(2000), 18);
  EXPECT_FALSE(settings_.ExitAfterLauncher);
}

}  // namespace
}  // namespace fernlite
