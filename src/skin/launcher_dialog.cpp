#include "skin/launcher_dialog.h"

#include "app/run_settings.h"
#include "game/guest_link.h"
#include "game/standard_dialog.h"
#include "net/endpoints.h"

namespace fernlite {

std::optional<std::u16string> LauncherPageUrl(unsigned message) {
  switch (message) {
    case kOpenServicePage: return PlatformBase(Endpoint::kGame) + u"/user/kf/";
    case kOpenHomePage: return PlatformBase(Endpoint::kPortal) + u"/rv7";
    case kOpenForumPage: return PlatformBase(Endpoint::kForum) + u"/forum-349-1.html";
    case kOpenPayPage: return PlatformBase(Endpoint::kGame) + u"/pay/?gid=rv7";
    default: return std::nullopt;
  }
}

CFernliteDlg::CFernliteDlg(uint16_t image_id, ImageType image_type, RunSettings& settings)
    : CTranslucentDialog(kLauncherDialogTemplate, image_id, image_type),
      settings_(settings),
      mode_(image_type == ImageType::Png ? LauncherMode::kPng : LauncherMode::kJpg) {
  // Only JpgMode paints the picture itself, and it is the background already decoded.
  if (mode_ == LauncherMode::kJpg && BackgroundImage()) paint_image_ = *BackgroundImage();
}

CFernliteDlg::~CFernliteDlg() {
  // The bridge must not reach a dialog that is gone (a window handle would merely go stale).
  if (LauncherWindow() == this) SetLauncherWindow(nullptr);
}

BackgroundWindow* CFernliteDlg::CreateBackground() {
  if (!make_background) return nullptr;
  std::unique_ptr<CSTDBackgroundDlg> background =
      make_background(Host() ? Host()->Handle() : nullptr);
  if (!background) return nullptr;
  // The page's window closing by itself ends the launcher's loop too.
  background->on_closed_itself = [this] { PostAction(ButtonAction::Close); };
  background_ = background.release();
  return background_;
}

BackgroundWindow* CFernliteDlg::GetBackground() {
  return background_;
}

void CFernliteDlg::InitControls() {
  if (mode_ != LauncherMode::kPng) return;
  close_.SetStateImages({kCloseGlyphImage, kCloseGlyphImage, kCloseGlyphImage, kCloseGlyphImage, 0},
                        ImageType::Png);
  close_.ActionCode = kCloseActionCode;
  AddChild(&close_);
  close_.SetBounds(kCloseButtonRect);
  minimize_.SetStateImages(
      {kMinimizeGlyphImage, kMinimizeGlyphImage, kMinimizeGlyphImage, kMinimizeGlyphImage, 0},
      ImageType::Png);
  minimize_.ActionCode = kMinimizeActionCode;
  AddChild(&minimize_);
  minimize_.SetBounds(kMinimizeButtonRect);
}

void CFernliteDlg::PaintJpgMode(Canvas& canvas) const {
  canvas.DrawImage(paint_image_, kJpgPaintRect);
}

void CFernliteDlg::OnDestroy() {
  background_ = nullptr;  // destroyed with the frame
  if (destroyed_) return;
  destroyed_ = true;
  if (on_destroyed) on_destroyed();
}

void CFernliteDlg::OnStartGameRequest() {
  settings_.ExitAfterLauncher = false;
  PostAction(ButtonAction::Close);
}

bool CFernliteDlg::OnPageMessage(unsigned message) {
  const std::optional<std::u16string> url = LauncherPageUrl(message);
  if (!url) return false;
  OpenUrlInDefaultBrowser(*url);
  return true;
}

}  // namespace fernlite
