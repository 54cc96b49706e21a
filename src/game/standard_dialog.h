// The standard dialog and the launcher's background dialog: an owned, otherwise transparent
// window that carries one embedded browser at a fixed rectangle. The launcher's translucent
// frame cannot hold a browser itself, so the page lives in this companion window above it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// The guest entry page: GuestBaseUrl, then gid, cid, ccid, puid and info, concatenated as they
// are (the page receives a user data text with '&' in it as further parameters).
std::u16string GuestEntryUrl(const RunSettings& settings, std::u16string_view device_id,
                             std::u16string_view user_data);
// The same from the run settings, the device identifier and the stored user data of now; a
// stored text too long for the address is left out (the file stays as it is).
std::u16string GuestEntryUrl();

// The longest address the Windows browser engine opens; the guest entry address must fit.
inline constexpr size_t kMaxEntryAddressChars = 2083;
// Whether the guest entry address with this user data text still fits.
bool UserDataFitsEntryAddress(const RunSettings& settings, std::u16string_view user_data);

class CStandardDialog;

// The platform's window of a standard dialog, with its browser and whatever the toolkit needs
// to run them; the platform side makes it and hands it to the dialog.
class StandardDialogWindow {
 public:
  virtual ~StandardDialogWindow() = default;
  // Creates the window owned by `owner` and shows it; its browser starts on the guest entry
  // page once the owner is on screen. Destroying this object destroys the window.
  virtual bool Create(CStandardDialog& dialog, NativeWindow owner) = 0;
  // Null before creation and once the window is gone.
  virtual NativeWindow Handle() const = 0;
  // The embedded browser (WebKitWebView* / IWebBrowser2*); null until created.
  virtual void* Browser() const = 0;
};

class CStandardDialog : public BackgroundWindow {
 public:
  CStandardDialog(int template_id, NativeWindow owner, uint32_t colour_key);
  ~CStandardDialog() override;
  CStandardDialog(const CStandardDialog&) = delete;
  CStandardDialog& operator=(const CStandardDialog&) = delete;

  void AdoptWindow(std::unique_ptr<StandardDialogWindow> window) { window_ = std::move(window); }

  // Creates the dialog owned by `owner` (the owner given at construction when null) and shows
  // it. False without a platform window.
  bool CreateOwned(NativeWindow owner) override;
  NativeWindow Handle() const override { return window_ ? window_->Handle() : nullptr; }

  int TemplateId() const { return template_id_; }
  uint32_t ColourKey() const { return colour_key_; }
  NativeWindow Owner() const { return owner_; }
  void* Browser() const { return window_ ? window_->Browser() : nullptr; }

  // From the platform window: it was destroyed other than by this object (it closed itself).
  void WindowDestroyedItself() { OnWindowDestroyed(); }

 protected:
  virtual void OnWindowDestroyed() {}

 private:
  int template_id_;
  NativeWindow owner_;
  uint32_t colour_key_;
  std::unique_ptr<StandardDialogWindow> window_;
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
