// Translucent (per-pixel alpha) dialogs and the controls drawn into them.
//
// A dialog's whole look is one premultiplied ARGB32 surface: the background image, then every
// visible child in registration order, recomposed from scratch whenever a child's look
// changes. The native window (layered window, RGBA GTK window) only presents that surface
// and feeds mouse input back to the portable state machines here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "skin/images.h"

namespace fernlite {

using NativeWindow = void*;  // HWND or GtkWindow*

class CTranslucentWnd;

class IRenderListener {
 public:
  virtual ~IRenderListener() = default;
  virtual void RequestRender(CTranslucentWnd* sender) = 0;
};

// What a button click asks of the dialog.
enum class ButtonAction { Minimize, Close };
constexpr int32_t kMinimizeActionCode = 1029;
inline ButtonAction ActionForCode(int32_t code) {
  return code == kMinimizeActionCode ? ButtonAction::Minimize : ButtonAction::Close;
}

// Slots of a control's state images.
enum StateSlot : int {
  kStateNormal = 0,
  kStateDisabled,
  kStateHover,
  kStatePressed,
  kStateChecked
};

struct StateImageIds {
  uint32_t normal = 0;
  uint32_t disabled = 0;
  uint32_t hover = 0;
  uint32_t pressed = 0;
  uint32_t checked = 0;
};

// A child control drawn into its dialog's layer. Bounds are in the dialog's client coordinates.
class CTranslucentWnd {
 public:
  CTranslucentWnd() = default;
  CTranslucentWnd(const CTranslucentWnd&) = delete;
  CTranslucentWnd& operator=(const CTranslucentWnd&) = delete;
  virtual ~CTranslucentWnd() = default;

  virtual void Render(Canvas& canvas) = 0;
  // Base: ask the listener to recompose; nothing without one.
  virtual void UpdateState();
  void SyncStateFromStyle(bool style_visible, bool style_disabled);

  // WM_ENABLE: recompose only when the disabled flag actually changed.
  void OnEnable(bool enabled);

  void SetListener(IRenderListener* listener) { listener_ = listener; }
  IRenderListener* Listener() const { return listener_; }
  bool Visible() const { return visible_; }
  bool Disabled() const { return disabled_; }
  const Rect& Bounds() const { return bounds_; }
  void SetBounds(const Rect& bounds) { bounds_ = bounds; }
  // Null when the slot has no image.
  const Image* StateImage(int slot) const;

 protected:
  std::array<Image, 5> state_images_;
  IRenderListener* listener_ = nullptr;
  bool disabled_ = false;
  bool visible_ = true;
  Rect bounds_;
};

class CTranslucentButton : public CTranslucentWnd {
 public:
  int32_t ActionCode = 0;

  // Loads the state images; false (and no images at all) when the normal one is missing.
  // On success the button takes the normal image's size, keeping its position.
  bool SetStateImages(const StateImageIds& ids, ImageType type,
                      const ImageModule* module = nullptr);

  void Render(Canvas& canvas) override;
  void UpdateState() override;

  // Mouse input, in the button's own client coordinates. OnMouseMove returns true when a
  // hover/leave notification request must be made; the caller reports the outcome with
  // SetTracking and later delivers OnMouseHover / OnMouseLeave.
  bool OnMouseMove();
  void SetTracking(bool tracking) { tracking_ = tracking; }
  void OnMouseHover();
  void OnMouseLeave();
  void OnLButtonDown();
  // Release point inside: the action to post to the dialog. Outside: none.
  std::optional<ButtonAction> OnLButtonUp(int x, int y);

  void SetText(std::u16string text) { text_ = std::move(text); }
  const std::u16string& Text() const { return text_; }
  // Low byte 2, 3, 4 or 9 (check box and radio types) makes a click flip the checked flag.
  void SetStyle(uint32_t style) { style_ = style; }

  bool Hover() const { return hover_; }
  bool Pressed() const { return pressed_; }
  bool Checked() const { return checked_; }
  bool Tracking() const { return tracking_; }
  const Image* CurrentImage() const { return current_; }

  static const FontSpec& TextFont();
  static const StringFormat& TextFormat();

 private:
  const Image* ChooseStateImage() const;

  const Image* current_ = nullptr;
  bool hover_ = false;
  bool pressed_ = false;
  bool checked_ = false;
  bool tracking_ = false;
  uint32_t style_ = 0;
  std::u16string text_;
};

// The companion ordinary window kept under a dialog's frame.
class BackgroundWindow {
 public:
  virtual ~BackgroundWindow() = default;
  // Creates the window owned by `owner` and shows it.
  virtual bool CreateOwned(NativeWindow owner) = 0;
  virtual NativeWindow Handle() const = 0;
};

// The native side of a dialog.
class LayeredWindowHost {
 public:
  virtual ~LayeredWindowHost() = default;
  virtual NativeWindow Handle() const = 0;
  // The surface stays valid until the next Present or until the dialog is destroyed.
  virtual void Present(const Image& surface) = 0;
  virtual void PostAction(ButtonAction action) = 0;
  virtual void MoveWindow(NativeWindow window, int x, int y) = 0;
  virtual void SizeWindow(NativeWindow window, int width, int height) = 0;
};

struct WindowPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const WindowPlacement&) const = default;
};

// Placement at initialisation: the image's size, centred in the work area when asked (the
// centring uses the size the window frame adds, integer division), else the current corner.
WindowPlacement InitialPlacement(const Rect& current_window, bool centred, int image_width,
                                 int image_height, int framed_width, int framed_height,
                                 const Rect& work_area);

// Window messages carry positions as two 16-bit halves: signed for positions (monitors left
// of or above the primary one), unsigned for sizes.
inline int SignedLow(uint32_t value) {
  return static_cast<int16_t>(value & 0xFFFF);
}
inline int SignedHigh(uint32_t value) {
  return static_cast<int16_t>(value >> 16);
}
inline int UnsignedLow(uint32_t value) {
  return static_cast<int>(value & 0xFFFF);
}
inline int UnsignedHigh(uint32_t value) {
  return static_cast<int>(value >> 16);
}

// Moving a window by dragging: the window follows the pointer's displacement since the press.
class DragTracker {
 public:
  void Begin(int pointer_x, int pointer_y, int window_x, int window_y);
  bool Active() const { return active_; }
  // New window position for the pointer's current screen position.
  std::pair<int, int> Follow(int pointer_x, int pointer_y) const;
  void End() { active_ = false; }

 private:
  bool active_ = false;
  int pointer_x_ = 0, pointer_y_ = 0, window_x_ = 0, window_y_ = 0;
};

// Composes one layer: `out` becomes a surface of the background's size (kept when it already
// is one), cleared to transparent black; the background is drawn over all of it, then each
// visible child in order. Without a background the layer is empty.
void ComposeLayer(const Image* background, std::span<CTranslucentWnd* const> children, Image& out);

class CTranslucentDialog : public IRenderListener {
 public:
  CTranslucentDialog(int dialog_id, uint16_t image_id, ImageType image_type,
                     const ImageModule* module = nullptr);
  ~CTranslucentDialog() override;
  CTranslucentDialog(const CTranslucentDialog&) = delete;
  CTranslucentDialog& operator=(const CTranslucentDialog&) = delete;

  // Create, but do not show, the companion window (null for none); the dialog owns it.
  virtual BackgroundWindow* CreateBackground() = 0;
  virtual BackgroundWindow* GetBackground() = 0;
  virtual void InitControls() = 0;
  // A child asked to close the dialog; the default destroys the window.
  virtual void OnClose();
  // The native window is gone.
  virtual void OnDestroy() {}

  void AddChild(CTranslucentWnd* child);
  void RenderLayered();
  void RequestRender(CTranslucentWnd* sender) override;

  // Runs the initialisation once the native window exists: placement, companion window,
  // controls, first composition. Returns the placement the native window must take.
  // The host must have been adopted first.
  WindowPlacement InitDialog(const Rect& current_window, int framed_width, int framed_height,
                             const Rect& work_area);
  // The native window moved (client origin) or was resized: the companion follows.
  void OnMoved(int client_x, int client_y);
  void OnSized(int client_width, int client_height);

  // Mouse routing for platforms whose children are not native windows: the topmost visible,
  // enabled child under the point, or null.
  CTranslucentWnd* ChildAt(int x, int y) const;
  void PostAction(ButtonAction action);
  // Destroys the native window and its companion, then calls OnDestroy.
  void DestroyWindow();

  int DialogId() const { return dialog_id_; }
  const Image* BackgroundImage() const {
    return background_image_.Empty() ? nullptr : &background_image_;
  }
  const Image& Layer() const { return layer_; }
  std::span<CTranslucentWnd* const> Children() const { return children_; }
  LayeredWindowHost* Host() const { return host_.get(); }
  void AdoptHost(std::unique_ptr<LayeredWindowHost> host) { host_ = std::move(host); }
  BackgroundWindow* OwnedBackground() const { return background_window_.get(); }

  bool Draggable = true;
  bool Centred = true;

 private:
  int dialog_id_;
  Image background_image_;
  std::unique_ptr<BackgroundWindow> background_window_;
  std::vector<CTranslucentWnd*> children_;
  Image layer_;
  std::unique_ptr<LayeredWindowHost> host_;
};

}  // namespace fernlite
