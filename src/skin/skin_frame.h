// The program's own window frame for the game window: a dark frame drawn in nine parts from
// one image, the icon and a bold white title, and a row of caption buttons drawn from image
// strips. The decisions (geometry, hit-testing, button states, layout on resize, the rounded
// outline) live here without any window system; the platform side feeds it pointer events
// and carries out what it answers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/images.h"

namespace fernlite {

inline constexpr int kCaptionHeight = 38;
inline constexpr int kBorderWidth = 8;
// The window never gets shorter than its caption band and bottom border together.
inline constexpr int kMinFrameHeight = kCaptionHeight + kBorderWidth;
inline constexpr int kSmallIconSize = 16;
// How far a corner's sizing grip reaches along the edges beside it.
inline constexpr int kCornerGrip = 16;

inline constexpr int32_t kCaptionCloseButton = 110;
inline constexpr int32_t kCaptionMaximizeButton = 111;
inline constexpr int32_t kCaptionMinimizeButton = 112;
inline constexpr int32_t kCaptionBindButton = 113;
inline constexpr int32_t kCaptionPayButton = 114;
inline constexpr int32_t kCaptionGreeting = 115;

inline constexpr uint16_t kFrameImageId = 164;
inline constexpr uint16_t kCloseStripId = 159;
inline constexpr uint16_t kMaximizeStripId = 162;
inline constexpr uint16_t kMinimizeStripId = 165;

inline constexpr char16_t kTitleFontFace[] = u"微软雅黑";
inline constexpr uint32_t kDisabledTextColor = 0xFF808080;

class CDUIButton {
 public:
  CDUIButton() = default;
  CDUIButton(const Rect& rect, const Image* strip, int frame_count, int32_t command_id, void* owner,
             std::u16string text);
  CDUIButton(const CDUIButton&) = default;
  CDUIButton& operator=(const CDUIButton&) = default;
  virtual ~CDUIButton() = default;

  // Draws the frame for the current state stretched into the rectangle, then the text.
  virtual void Render(Canvas& canvas) const;

  // Which frame of the strip the current state shows.
  int FrameIndex() const;

  // State changes; a disabled button ignores them.
  void Enter();
  void Leave();
  void Press();
  // The generic click on release: only an enabled, pressed button clicks; it then flips
  // checked and is no longer pressed. True when the owner should get the command.
  bool Click();

  Rect rect;
  int32_t hover = 0;
  int32_t pressed = 0;
  int32_t disabled = 0;
  int32_t checked = 0;
  int32_t visible = 1;
  const Image* strip = nullptr;  // belongs to the image cache
  int frame_count = 1;
  int32_t command_id = 0;
  void* owner = nullptr;
  std::u16string text;
};

// What a point of the window is, as far as the frame is concerned.
enum class FrameHit {
  kClient,
  kCaption,  // drags the window
  kSysMenu,  // the icon
  kClose,
  kMaximize,
  kMinimize,
  kLeft,
  kRight,
  kTop,
  kBottom,
  kTopLeft,
  kTopRight,
  kBottomLeft,
  kBottomRight,
  kBorder,  // the border of a maximised window: nothing to size
};

bool IsSizingHit(FrameHit hit);

// What releasing the mouse over a caption button asks for.
enum class CaptionAction { kNone, kClose, kMaximize, kRestore, kMinimize, kBind, kPay, kCommand };

// One part of the nine-part frame: a source rectangle of the image stretched into a
// destination rectangle of the window.
struct FramePart {
  Rect source;
  Rect destination;
};
std::vector<FramePart> NinePartFrame(int width, int height, int image_width, int image_height);

// Horizontal extent [left, right) of the rounded outline on one row of a window of the given
// size; rows outside the window are empty (left == right).
struct RowSpan {
  int left = 0;
  int right = 0;
};
RowSpan RoundedRowSpan(int width, int height, int row);
// All rows of the outline, top to bottom.
std::vector<RowSpan> RoundedOutline(int width, int height);
// The outline as few rectangles: runs of rows with the same span, top to bottom, each one
// band of the window's region.
std::vector<Rect> RoundedOutlineBands(int width, int height);

class SkinFrame {
 public:
  struct Style {
    bool has_maximize = true;
    bool has_minimize = true;
    bool has_system_menu = true;
  };

  // Frame image and system-button strips from the program's images.
  SkinFrame();
  // The same with images supplied by the caller (tests, previews).
  SkinFrame(Image frame_image, const Image* minimize_strip, const Image* maximize_strip,
            const Image* close_strip);

  // Adds the system buttons for this window style (with their provisional rectangles).
  void AttachStyle(const Style& style, int window_width, void* owner);

  CDUIButton& AddCaptionButton(const Rect& rect, const Image* strip, int frame_count, int32_t id,
                               std::u16string text = {});
  CDUIButton* Button(int32_t id);
  const std::map<int32_t, CDUIButton>& Buttons() const { return buttons_; }

  // The guest caption places the binding button and the greeting; the other one the pay
  // button and the name label.
  void SetGuestLayout(bool guest) { guest_layout_ = guest; }
  bool GuestLayout() const { return guest_layout_; }

  // Places the caption buttons for a window of this width; creates entries that are missing.
  void LayoutButtons(int window_width);

  // Identifier of the first visible button (ascending order) containing the point, or -1.
  int32_t HitTestButton(int x, int y) const;
  // The caption's own answer for a point (system buttons, icon, the band beside the buttons);
  // none where the window's sizing frame decides.
  std::optional<FrameHit> CaptionHitTest(int x, int y, int width) const;
  // The whole frame's answer for a point of a width x height window. A maximised window has
  // no sizing borders.
  FrameHit HitTest(int x, int y, int width, int height, bool maximized = false) const;
  const Rect& IconRect() const { return icon_rect_; }

  // Pointer tracking over the frame; each returns true when the frame must be redrawn.
  bool PointerMoved(int x, int y);
  bool PointerLeft();
  // Button 1 went down outside the client area. True when a caption button took it (no drag).
  bool PointerPressed(int x, int y);
  // Button 1 came up at the point; what the window is to do.
  CaptionAction PointerReleased(int x, int y, bool maximized);
  // A double click: true when it toggles maximise (caption band, not on a button).
  bool DoubleClicked(int x, int y);

  int32_t HoverButtonId() const { return hover_button_id_; }

  // The whole frame of a width x height window into surface (made a surface of that size
  // unless it is one); the client rectangle is left transparent. Buttons outside a non-empty
  // clip are skipped.
  void Paint(Image& surface, int width, int height, const Image* icon, std::u16string_view title,
             const Rect& clip = {}) const;

  const Image* FrameImage() const { return frame_image_.Empty() ? nullptr : &frame_image_; }
  const Style& WindowStyle() const { return style_; }

 private:
  Image frame_image_;
  std::map<int32_t, CDUIButton> buttons_;
  int32_t hover_button_id_ = -1;
  Style style_;
  const Image* strips_[3] = {nullptr, nullptr, nullptr};  // minimise, maximise, close
  Rect icon_rect_;
  void* owner_ = nullptr;
  bool guest_layout_ = false;
};

}  // namespace fernlite
