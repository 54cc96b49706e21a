// The standard dialog and the launcher's background dialog: an owned, otherwise transparent
// window that carries one embedded browser at a fixed rectangle. The launcher's translucent
// frame cannot hold a browser itself, so the page lives in this companion window above it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "skin/translucent.h"

namespace fernlite {

struct RunSettings;

inline constexpr int kBackgroundDialogTemplate = 129;
// Pure green: the background dialog's colour key, transparent wherever it shows.
inline constexpr uint32_t kBackgroundColourKey = 0x0000FF00;
// Where the browser sits in the dialog, whatever size the dialog is given.
inline constexpr Rect kGuestBrowserRect{0, 25, 660, 382};
// Keyboard messages (WM_KEYFIRST..WM_KEYLAST) the browser may claim as accelerators.
inline constexpr unsigned kFirstKeyMessage = 0x0100;
inline constexpr unsigned kLastKeyMessage = 0x0109;
inline bool IsBrowserKeyMessage(unsigned message) {
  return message >= kFirstKeyMessage && message <= kLastKeyMessage;
}

inline constexpr char16_t kCreateGameFailedText[] = u"创建游戏失败";
inline constexpr char16_t kCreateGameFailedCaption[] = u"抱歉";

// The guest entry page: GuestBaseUrl, then gid, cid, ccid, puid and info, concatenated as they
// are (the page receives a user data text with '&' in it as further parameters).
std::u16string GuestEntryUrl(const RunSettings& settings, std::u16string_view device_id,
                             std::u16string_view user_data);
// The same from the run settings, the device identifier and the stored user data of now.
std::u16string GuestEntryUrl();

class CStandardDialog : public BackgroundWindow {
 public:
  CStandardDialog(int template_id, NativeWindow owner, uint32_t colour_key);
  ~CStandardDialog() override;
  CStandardDialog(const CStandardDialog&) = delete;
  CStandardDialog& operator=(const CStandardDialog&) = delete;

  // Creates the dialog owned by `owner` (the owner given at construction when null) and shows
  // it; its browser starts on the guest entry page once the owner is on screen.
  bool CreateOwned(NativeWindow owner) override;
  NativeWindow Handle() const override { return window_; }

  int TemplateId() const { return template_id_; }
  uint32_t ColourKey() const { return colour_key_; }
  NativeWindow Owner() const { return owner_; }
  // The embedded browser (WebKitWebView* / IWebBrowser2*); null until created.
  void* Browser() const { return browser_; }

 protected:
  // The window was destroyed other than by this object (it closed itself).
  virtual void OnWindowDestroyed() {}

 private:
  // Platform side.
  bool CreatePlatformWindow();
  bool CreateBrowser();
  void DisconnectOwner(void* owner);
  void CancelPending();
  void DestroyPlatformWindow();
  friend struct StandardDialogPlatform;

  int template_id_;
  NativeWindow owner_;
  uint32_t colour_key_;
  NativeWindow window_ = nullptr;
  void* browser_ = nullptr;
  unsigned long destroy_handler_ = 0;
  unsigned long owner_map_handler_ = 0;
  unsigned browser_idle_ = 0;
};

// The launcher's companion: template 129, colour key green. When it goes away by itself its
// owner's message loop ends, as when the launcher closes.
class CSTDBackgroundDlg : public CStandardDialog {
 public:
  explicit CSTDBackgroundDlg(NativeWindow owner);
  std::function<void()> on_closed_itself;

 protected:
  void OnWindowDestroyed() override;
};

}  // namespace fernlite
