#include "skin/skin_frame.h"

#include <algorithm>
#include <cmath>

namespace fernlite {

CDUIButton::CDUIButton(const Rect& rect_, const Image* strip_, int frame_count_,
                       int32_t command_id_, void* owner_, std::u16string text_)
    : rect(rect_),
      strip(strip_),
      frame_count(frame_count_),
      command_id(command_id_),
      owner(owner_),
      text(std::move(text_)) {}

int CDUIButton::FrameIndex() const {
  if (disabled && frame_count > 3) return 3;
  if (pressed && frame_count > 2) return 2;
  if (hover && frame_count > 1) return 1;
  return 0;
}

void CDUIButton::Render(Canvas& canvas) const {
  if (strip && frame_count > 0) {
    const int frame_width = strip->Width() / frame_count;
    const Rect source = RectXYWH(frame_width * FrameIndex(), 0, frame_width, strip->Height());
    canvas.DrawImage(*strip, source, rect);
  }
  if (!text.empty()) {
    const FontSpec font{kTitleFontFace, 8, false};
    const StringFormat format{kStringFormatLineLimit, TextAlign::Far, TextAlign::Center};
    canvas.DrawString(text, ToRectF(rect), font, format,
                      disabled ? kDisabledTextColor : 0xFFFFFFFF);
  }
}

void CDUIButton::Enter() {
  if (!disabled) hover = 1;
}

void CDUIButton::Leave() {
  if (disabled) return;
  hover = 0;
  pressed = 0;
}

void CDUIButton::Press() {
  if (!disabled) pressed = 1;
}

bool CDUIButton::Click() {
  if (disabled || !pressed) return false;
  checked = !checked;
  pressed = 0;
  return true;
}

bool IsSizingHit(FrameHit hit) {
  switch (hit) {
    case FrameHit::kLeft:
    case FrameHit::kRight:
    case FrameHit::kTop:
    case FrameHit::kBottom:
    case FrameHit::kTopLeft:
    case FrameHit::kTopRight:
    case FrameHit::kBottomLeft:
    case FrameHit::kBottomRight: return true;
    default: return false;
  }
}

std::vector<FramePart> NinePartFrame(int w, int h, int iw, int ih) {
  constexpr int C = kCaptionHeight;
  constexpr int B = kBorderWidth;
  // Later parts cover earlier ones: the corners sit over the bottom edge, the caption ends
  // over the stretched caption band.
  return {
      {RectXYWH(C, ih - B, B, B), RectXYWH(0, h - B, w, B)},           // bottom edge
      {RectXYWH(iw - C, ih - C, C, C), RectXYWH(w - C, h - C, C, C)},  // bottom-right
      {RectXYWH(0, ih - C, C, C), RectXYWH(0, h - C, C, C)},           // bottom-left
      {RectXYWH(0, C, B, B), RectXYWH(0, C, B, h - 2 * C)},            // left edge
      {RectXYWH(iw - B, C, B, B), RectXYWH(w - B, C, B, h - 2 * C)},   // right edge
      {RectXYWH(50, 0, 5, C), RectXYWH(0, 0, w, C)},                   // caption band
      {RectXYWH(0, 0, 50, C), RectXYWH(0, 0, 50, C)},                  // caption left end
      {RectXYWH(iw - 50, 0, 50, C), RectXYWH(w - 50, 0, 50, C)},       // caption right end
  };
}

// The outline is a rectangle one pixel wider and taller than the window, less its right and
// bottom edge, with corners rounded by a 5 x 5 ellipse; a pixel belongs to it when its centre
// lies inside.
RowSpan RoundedRowSpan(int width, int height, int row) {
  if (width <= 0 || height <= 0 || row < 0 || row >= height) return {};
  constexpr double kRadius = 2.5;
  const double centre_y = row + 0.5;
  const double from_edge = std::min(centre_y, height - centre_y);
  int inset = 0;
  if (from_edge < kRadius) {
    const double dy = kRadius - from_edge;
    const double dx = std::sqrt(kRadius * kRadius - dy * dy);
    inset = std::max(0, static_cast<int>(std::ceil(kRadius - dx - 0.5)));
  }
  inset = std::min(inset, width / 2);
  return {inset, width - inset};
}

std::vector<RowSpan> RoundedOutline(int width, int height) {
  std::vector<RowSpan> rows;
  for (int y = 0; y < height; ++y) rows.push_back(RoundedRowSpan(width, height, y));
  return rows;
}

std::vector<Rect> RoundedOutlineBands(int width, int height) {
  const std::vector<RowSpan> rows = RoundedOutline(width, height);
  std::vector<Rect> bands;
  for (size_t start = 0; start < rows.size();) {
    size_t end = start + 1;
    while (end < rows.size() && rows[end].left == rows[start].left &&
           rows[end].right == rows[start].right)
      ++end;
    const Rect band{rows[start].left, static_cast<int>(start), rows[start].right,
                    static_cast<int>(end)};
    if (!band.Empty()) bands.push_back(band);
    start = end;
  }
  return bands;
}

SkinFrame::SkinFrame()
    : SkinFrame(LoadResourceImage(kFrameImageId, ImageType::Png),
                ImageCache::Instance().Get(kMinimizeStripId),
                ImageCache::Instance().Get(kMaximizeStripId),
                ImageCache::Instance().Get(kCloseStripId)) {}

SkinFrame::SkinFrame(Image frame_image, const Image* minimize_strip, const Image* maximize_strip,
                     const Image* close_strip)
    : frame_image_(std::move(frame_image)),
      strips_{minimize_strip, maximize_strip, close_strip},
      icon_rect_{15, 13, 15 + kSmallIconSize, 13 + kSmallIconSize} {}

void SkinFrame::AttachStyle(const Style& style, int window_width, void* owner) {
  style_ = style;
  owner_ = owner;
  const int w = window_width;
  const Rect provisional{w - 35, 5, w - 15, 25};
  AddCaptionButton(provisional, strips_[2], 3, kCaptionCloseButton).disabled =
      style.has_system_menu ? 0 : 1;
  if (style.has_maximize || style.has_minimize) {
    AddCaptionButton(provisional, strips_[1], 3, kCaptionMaximizeButton).disabled =
        style.has_maximize ? 0 : 1;
    AddCaptionButton(provisional, strips_[0], 3, kCaptionMinimizeButton).disabled =
        style.has_minimize ? 0 : 1;
  }
}

CDUIButton& SkinFrame::AddCaptionButton(const Rect& rect, const Image* strip, int frame_count,
                                        int32_t id, std::u16string text) {
  if (hover_button_id_ == id) hover_button_id_ = -1;
  buttons_.erase(id);
  return buttons_.emplace(id, CDUIButton(rect, strip, frame_count, id, owner_, std::move(text)))
      .first->second;
}

CDUIButton* SkinFrame::Button(int32_t id) {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : &it->second;
}

void SkinFrame::LayoutButtons(int w) {
  auto place = [&](int32_t id, const Rect& rect) {
    auto it = buttons_.find(id);
    if (it == buttons_.end())
      it = buttons_.emplace(id, CDUIButton({}, nullptr, 1, id, owner_, {})).first;
    it->second.rect = rect;
  };
  if (style_.has_maximize || style_.has_minimize) {
    place(kCaptionMinimizeButton, Rect{w - 74, 5, w - 54, 27});
    place(kCaptionMaximizeButton, Rect{w - 52, 5, w - 32, 27});
  }
  place(kCaptionCloseButton, Rect{w - 30, 5, w - 10, 27});
  if (guest_layout_) {
    place(kCaptionBindButton, Rect{w - 190, 5, w - 90, 30});
    place(kCaptionGreeting, Rect{w - 340, 5, w - 200, 30});
  } else {
    place(kCaptionPayButton, Rect{w - 170, 5, w - 90, 30});
    place(kCaptionGreeting, Rect{w - 320, 5, w - 180, 30});
  }
}

int32_t SkinFrame::HitTestButton(int x, int y) const {
  for (const auto& [id, button] : buttons_) {
    if (button.visible && button.rect.Contains(x, y)) return id;
  }
  return -1;
}

std::optional<FrameHit> SkinFrame::CaptionHitTest(int x, int y, int w) const {
  const int32_t id = HitTestButton(x, y);
  if (id == kCaptionCloseButton) return FrameHit::kClose;
  if (id == kCaptionMaximizeButton) return FrameHit::kMaximize;
  if (id == kCaptionMinimizeButton) return FrameHit::kMinimize;
  if (id == -1 && icon_rect_.Contains(x, y)) return FrameHit::kSysMenu;
  if (x >= w - 70 && x <= w - kBorderWidth && y >= kBorderWidth && y <= kCaptionHeight)
    return FrameHit::kCaption;
  return std::nullopt;
}

FrameHit SkinFrame::HitTest(int x, int y, int w, int h, bool maximized) const {
  if (const std::optional<FrameHit> caption = CaptionHitTest(x, y, w)) return *caption;

  // What the system's own sizing frame would answer.
  if (!maximized) {
    const bool left = x < kBorderWidth, right = x >= w - kBorderWidth;
    const bool top = y < kBorderWidth, bottom = y >= h - kBorderWidth;
    const bool near_left = x < kCornerGrip, near_right = x >= w - kCornerGrip;
    const bool near_top = y < kCornerGrip, near_bottom = y >= h - kCornerGrip;
    if ((top && near_left) || (left && near_top)) return FrameHit::kTopLeft;
    if ((top && near_right) || (right && near_top)) return FrameHit::kTopRight;
    if ((bottom && near_left) || (left && near_bottom)) return FrameHit::kBottomLeft;
    if ((bottom && near_right) || (right && near_bottom)) return FrameHit::kBottomRight;
    if (top) return FrameHit::kTop;
    if (bottom) return FrameHit::kBottom;
    if (left) return FrameHit::kLeft;
    if (right) return FrameHit::kRight;
  }
  if (y < kCaptionHeight) return FrameHit::kCaption;
  if (x < kBorderWidth || x >= w - kBorderWidth || y >= h - kBorderWidth) return FrameHit::kBorder;
  return FrameHit::kClient;
}

bool SkinFrame::PointerMoved(int x, int y) {
  const int32_t id = HitTestButton(x, y);
  if (id == hover_button_id_) return false;
  if (CDUIButton* old = Button(hover_button_id_)) old->Leave();
  hover_button_id_ = id;
  if (CDUIButton* now = Button(id)) now->Enter();
  return true;
}

bool SkinFrame::PointerLeft() {
  if (CDUIButton* old = Button(hover_button_id_)) old->Leave();
  hover_button_id_ = -1;
  return true;
}

bool SkinFrame::PointerPressed(int x, int y) {
  CDUIButton* button = Button(HitTestButton(x, y));
  if (!button) return false;
  button->Press();
  return true;
}

CaptionAction SkinFrame::PointerReleased(int x, int y, bool maximized) {
  CDUIButton* button = Button(HitTestButton(x, y));
  if (!button) return CaptionAction::kNone;
  const int32_t id = button->command_id;
  // The frame's own buttons act on release over them whatever their state.
  switch (id) {
    case kCaptionCloseButton:
    case kCaptionMaximizeButton:
    case kCaptionMinimizeButton:
    case kCaptionBindButton:
    case kCaptionPayButton:
      if (!button->disabled) button->pressed = 0;
      break;
    default: return button->Click() ? CaptionAction::kCommand : CaptionAction::kNone;
  }
  switch (id) {
    case kCaptionCloseButton: return CaptionAction::kClose;
    case kCaptionMaximizeButton:
      return maximized ? CaptionAction::kRestore : CaptionAction::kMaximize;
    case kCaptionMinimizeButton: return CaptionAction::kMinimize;
    case kCaptionBindButton: return CaptionAction::kBind;
    default: return CaptionAction::kPay;
  }
}

bool SkinFrame::DoubleClicked(int x, int y) {
  if (CDUIButton* button = Button(HitTestButton(x, y))) {
    button->Press();
    return false;
  }
  return y >= 0 && y < kCaptionHeight;
}

void SkinFrame::Paint(Image& surface, int w, int h, const Image* icon, std::u16string_view title,
                      const Rect& clip) const {
  if (w <= 0 || h <= 0) {
    surface = Image();
    return;
  }
  if (surface.Empty() || surface.Width() != w || surface.Height() != h)
    surface = Image::Surface(w, h);
  Canvas canvas(surface);
  canvas.Clear();
  // The client area belongs to the window's content.
  canvas.ExcludeClip(Rect{kBorderWidth, kCaptionHeight, w - kBorderWidth, h - kBorderWidth});
  if (!frame_image_.Empty()) {
    for (const FramePart& part : NinePartFrame(w, h, frame_image_.Width(), frame_image_.Height()))
      canvas.DrawImage(frame_image_, part.source, part.destination);
  }
  int title_x = 10;
  if (icon) {
    canvas.DrawImage(*icon, RectXYWH(10, 8, kSmallIconSize, kSmallIconSize));
    title_x = 10 + kSmallIconSize + 5;
  }
  if (!title.empty()) {
    const FontSpec font{kTitleFontFace, 9, true};  // 12 pixels high
    const StringFormat format{kStringFormatNoWrap, TextAlign::Near, TextAlign::Near};
    canvas.DrawString(title, RectF{static_cast<float>(title_x), 10, 0, 0}, font, format,
                      0xFFFFFFFF);
  }
  for (const auto& [id, button] : buttons_) {
    if (!button.visible) continue;
    if (!clip.Empty() && !clip.Intersects(button.rect)) continue;
    button.Render(canvas);
  }
}

}  // namespace fernlite
