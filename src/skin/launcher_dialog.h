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
inline constexpr uint16_t kMinimizeGlyphImage = 171;
inline constexpr uint16_t kLauncherIcon = 127;
// The template's controls the two buttons are attached to.
inline constexpr int kCloseControlId = 1005;
inline constexpr int kMinimizeControlId = 1009;
inline constexpr int32_t kCloseActionCode = 16;  // WM_CLOSE
inline constexpr Rect kCloseButtonRect = RectXYWH(627, 0, 31, 26);
inline constexpr Rect kMinimizeButtonRect = RectXYWH(595, 0, 27, 22);
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
  const Image* PaintImage() const { return paint_image_.Empty() ? nullptr : &paint_image_; }
  CTranslucentButton& CloseButton() { return close_; }
  CTranslucentButton& MinimizeButton() { return minimize_; }

  // JpgMode's look: the paint image stretched over kJpgPaintRect.
  void PaintJpgMode(Canvas& canvas) const;

  BackgroundWindow* CreateBackground() override;
  BackgroundWindow* GetBackground() override;
  void InitControls() override;
  void OnDestroy() override;

  // WM_USER + 1 from the page: the game is to start, so the launcher closes without ending
  // the program. May come more than once before the window is gone.
  void OnStartGameRequest() override;
  // The four page messages; false for anything else.
  bool OnPageMessage(unsigned message);

  // Called once when the window has been destroyed (its message loop should end).
  std::function<void()> on_destroyed;
  // Makes the background dialog owned by the frame's window (the platform's own window
  // class); nothing is shown without one.
  std::function<std::unique_ptr<CSTDBackgroundDlg>(NativeWindow owner)> make_background;

 private:
  RunSettings& settings_;
  LauncherMode mode_;
  Image paint_image_;
  CTranslucentButton close_;
  CTranslucentButton minimize_;
  BackgroundWindow* background_ = nullptr;
  bool destroyed_ = false;
};

}  // namespace fernlite
