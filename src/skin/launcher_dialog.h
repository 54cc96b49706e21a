// The launcher's main dialog: the translucent frame with close and minimise buttons over its
// background dialog, which shows the guest entry page. The page starts the game through the
// script bridge; closing the dialog any other way ends the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "game/script_bridge.h"
#include "skin/translucent.h"

namespace fernlite {

class CSTDBackgroundDlg;
struct RunSettings;

inline constexpr int kLauncherDialogTemplate = 102;
inline constexpr uint16_t kLauncherPngImage = 153;
inline constexpr uint16_t kLauncherJpgImage = 152;
inline constexpr uint16_t kCloseGlyphImage = 172;
inline constexpr uint16_t kMinimiseGlyphImage = 171;
inline constexpr uint16_t kLauncherIcon = 127;
inline constexpr int kCloseButtonId = 1005;
inline constexpr int kMinimiseButtonId = 1009;
inline constexpr int32_t kCloseActionCode = 16;  // WM_CLOSE
inline constexpr Rect kCloseButtonRect{627, 0, 627 + 31, 0 + 26};
inline constexpr Rect kMinimiseButtonRect{595, 0, 595 + 27, 0 + 22};
// JpgMode: an ordinary framed window of this outer size, painted from the paint image.
inline constexpr int kJpgWindowWidth = 600;
inline constexpr int kJpgWindowHeight = 427;
inline constexpr Rect kJpgPaintRect{0, 0, 600, 400};

// The pages the dialog opens in the default browser on request (WM_USER + 6 .. + 9).
inline constexpr unsigned kOpenServicePage = 1030;
inline constexpr unsigned kOpenHomePage = 1031;
inline constexpr unsigned kOpenForumPage = 1032;
inline constexpr unsigned kOpenPayPage = 1033;

// The address for one of the four page messages; nullopt for any other message.
std::optional<std::u16string> LauncherPageUrl(unsigned message);

enum class LauncherMode { kPng, kJpg };

class CFernliteDlg : public CTranslucentDialog, public LauncherWindowSink {
 public:
  // (153, Png) when the drawing library came up, (152, Jpg) otherwise.
  CFernliteDlg(uint16_t image_id, ImageType image_type, RunSettings& settings);
  ~CFernliteDlg() override;

  LauncherMode Mode() const { return mode_; }
  const Image* PaintImage() const { return paint_image_.get(); }
  CTranslucentButton& CloseButton() { return close_; }
  CTranslucentButton& MinimiseButton() { return minimise_; }

  BackgroundWindow* CreateBackground() override;
  BackgroundWindow* GetBackground() override;
  void InitControls() override;
  void OnDestroy() override;

  // WM_USER + 1 from the page: the game is to start, so the launcher closes without ending
  // the program. May come more than once before the window is gone.
  void OnStartGameRequest() override;
  // The four page messages; false for anything else.
  bool OnPageMessage(unsigned message);

  // Creates, initialises and shows the native window (title GameTitle, icon, centred, and the
  // framed look in JpgMode) and makes it the process's launcher window.
  bool Create();

  // Called once when the window has been destroyed (its message loop should end).
  std::function<void()> on_destroyed;
  // Opens page addresses; the desktop's default handler unless replaced.
  std::function<void(const std::u16string&)> open_url;

 private:
  // Platform side of Create, after the translucent window exists.
  void FinishPlatformWindow();

  RunSettings& settings_;
  LauncherMode mode_;
  std::unique_ptr<Image> paint_image_;
  CTranslucentButton close_;
  CTranslucentButton minimise_;
  CSTDBackgroundDlg* background_ = nullptr;
  bool destroyed_ = false;
};

}  // namespace fernlite
