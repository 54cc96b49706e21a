#include "skin/translucent.h"

namespace fernlite {

void CTranslucentWnd::UpdateState() {
  if (listener_) listener_->RequestRender(this);
}

void CTranslucentWnd::SyncStateFromStyle(bool style_visible, bool style_disabled) {
  visible_ = style_visible;
  disabled_ = style_disabled;
}

void CTranslucentWnd::OnEnable(bool enabled) {
  bool disabled = !enabled;
  if (disabled == disabled_) return;
  disabled_ = disabled;
  UpdateState();
}

const Image* CTranslucentWnd::StateImage(int slot) const {
  const Image& image = state_images_[static_cast<size_t>(slot)];
  return image.Empty() ? nullptr : &image;
}

const FontSpec& CTranslucentButton::TextFont() {
  static const FontSpec font{u"Arial", 12, false};
  return font;
}

const StringFormat& CTranslucentButton::TextFormat() {
  static const StringFormat format{0, TextAlign::Center, TextAlign::Center};
  return format;
}

bool CTranslucentButton::SetStateImages(const StateImageIds& ids, ImageType type,
                                        const ImageModule* module) {
  for (Image& slot : state_images_) slot = Image();
  current_ = nullptr;
  if (ids.normal == 0) return false;
  // Slots that name the same resource share one decoded image, so a state change between
  // them chooses the same image and recomposes nothing.
  const uint32_t slot_ids[5] = {ids.normal, ids.disabled, ids.hover, ids.pressed, ids.checked};
  for (int slot = 0; slot < 5; ++slot) {
    const uint32_t id = slot_ids[slot];
    if (id == 0 || id > 0xFFFF) continue;
    for (int earlier = 0; earlier < slot && state_images_[slot].Empty(); ++earlier) {
      if (slot_ids[earlier] == id) state_images_[slot] = state_images_[earlier];
    }
    if (state_images_[slot].Empty()) {
      state_images_[slot] = LoadResourceImage(static_cast<uint16_t>(id), type, module);
    }
    if (slot == kStateNormal && state_images_[kStateNormal].Empty()) return false;
  }

  current_ = &state_images_[kStateNormal];
  bounds_.right = bounds_.left + current_->Width();
  bounds_.bottom = bounds_.top + current_->Height();
  return true;
}

void CTranslucentButton::Render(Canvas& canvas) {
  if (!current_) return;
  const RectF rect = ToRectF(bounds_);
  canvas.DrawImage(*current_, rect);
  if (!text_.empty()) canvas.DrawString(text_, rect, TextFont(), TextFormat(), 0xFF000000u);
}

const Image* CTranslucentButton::ChooseStateImage() const {
  auto slot_or_normal = [this](int slot) {
    const Image* image = StateImage(slot);
    return image ? image : StateImage(kStateNormal);
  };
  if (hover_ && pressed_) return slot_or_normal(kStatePressed);
  if (hover_) return slot_or_normal(kStateHover);
  if (disabled_) return slot_or_normal(kStateDisabled);
  if (checked_) return slot_or_normal(kStateChecked);
  return StateImage(kStateNormal);
}

void CTranslucentButton::UpdateState() {
  const Image* chosen = ChooseStateImage();
  // Slots sharing one image look the same: nothing to compose again.
  const bool same_look = chosen == current_ || (chosen && current_ && !chosen->Empty() &&
                                                chosen->Native() == current_->Native());
  current_ = chosen;
  if (!same_look && listener_) listener_->RequestRender(this);
}

bool CTranslucentButton::OnMouseMove() {
  if (tracking_) return false;
  tracking_ = true;
  return true;
}

void CTranslucentButton::OnMouseHover() {
  hover_ = true;
  UpdateState();
}

void CTranslucentButton::OnMouseLeave() {
  hover_ = false;
  tracking_ = false;
  UpdateState();
}

void CTranslucentButton::OnLButtonDown() {
  pressed_ = true;
  UpdateState();
}

std::optional<ButtonAction> CTranslucentButton::OnLButtonUp(int x, int y) {
  pressed_ = false;
  std::optional<ButtonAction> action;
  if (x >= 0 && y >= 0 && x < bounds_.Width() && y < bounds_.Height()) {
    uint32_t type = style_ & 0xFF;
    bool check_type = type == 2 || type == 3 || type == 4 || type == 9;
    checked_ = check_type ? !checked_ : false;
    action = ActionForCode(ActionCode);
  } else {
    hover_ = false;
  }
  UpdateState();
  return action;
}

WindowPlacement InitialPlacement(const Rect& current_window, bool centred, int image_width,
                                 int image_height, int framed_width, int framed_height,
                                 const Rect& work_area) {
  WindowPlacement placement{current_window.left, current_window.top, image_width, image_height};
  if (centred) {
    placement.x = (work_area.Width() - framed_width) / 2 + work_area.left;
    placement.y = (work_area.Height() - framed_height) / 2 + work_area.top;
  }
  return placement;
}

void DragTracker::Begin(int pointer_x, int pointer_y, int window_x, int window_y) {
  active_ = true;
  pointer_x_ = pointer_x;
  pointer_y_ = pointer_y;
  window_x_ = window_x;
  window_y_ = window_y;
}

std::pair<int, int> DragTracker::Follow(int pointer_x, int pointer_y) const {
  return {window_x_ + (pointer_x - pointer_x_), window_y_ + (pointer_y - pointer_y_)};
}

void ComposeLayer(const Image* background, std::span<CTranslucentWnd* const> children, Image& out) {
  if (!background || background->Empty()) {
    out = Image();
    return;
  }
  const int w = background->Width(), h = background->Height();
  if (out.Empty() || out.Width() != w || out.Height() != h) out = Image::Surface(w, h);
  Canvas canvas(out);
  // Over a cleared layer the background lands unchanged: copying it is the same and cheaper
  // than blending it.
  canvas.CopyImage(*background, Rect{0, 0, w, h});
  for (CTranslucentWnd* child : children) {
    if (child && child->Visible()) child->Render(canvas);
  }
}

CTranslucentDialog::CTranslucentDialog(int dialog_id, uint16_t image_id, ImageType image_type,
                                       const ImageModule* module)
    : dialog_id_(dialog_id), background_image_(LoadResourceImage(image_id, image_type, module)) {}

CTranslucentDialog::~CTranslucentDialog() {
  // The companion is owned by this window, so it goes first.
  background_window_.reset();
  host_.reset();
  children_.clear();
}

void CTranslucentDialog::AddChild(CTranslucentWnd* child) {
  if (!child) return;
  child->SetListener(this);
  children_.push_back(child);
}

void CTranslucentDialog::RenderLayered() {
  ComposeLayer(BackgroundImage(), children_, layer_);
  if (host_) host_->Present(layer_);
}

void CTranslucentDialog::RequestRender(CTranslucentWnd*) {
  RenderLayered();
}

WindowPlacement CTranslucentDialog::InitDialog(const Rect& current_window, int framed_width,
                                               int framed_height, const Rect& work_area) {
  const int iw = background_image_.Width();
  const int ih = background_image_.Height();
  WindowPlacement placement =
      InitialPlacement(current_window, Centred, iw, ih, framed_width, framed_height, work_area);
  if (!background_window_) {
    background_window_.reset(CreateBackground());
    if (background_window_ && host_) background_window_->CreateOwned(host_->Handle());
  }
  InitControls();
  RenderLayered();
  return placement;
}

void CTranslucentDialog::OnMoved(int client_x, int client_y) {
  if (background_window_ && host_ && background_window_->Handle())
    host_->MoveWindow(background_window_->Handle(), client_x, client_y);
}

void CTranslucentDialog::OnSized(int client_width, int client_height) {
  if (background_window_ && host_ && background_window_->Handle())
    host_->SizeWindow(background_window_->Handle(), client_width, client_height);
}

CTranslucentWnd* CTranslucentDialog::ChildAt(int x, int y) const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    CTranslucentWnd* child = *it;
    if (child->Visible() && !child->Disabled() && child->Bounds().Contains(x, y)) return child;
  }
  return nullptr;
}

void CTranslucentDialog::PostAction(ButtonAction action) {
  if (host_) host_->PostAction(action);
}

void CTranslucentDialog::OnClose() {
  DestroyWindow();
}

void CTranslucentDialog::DestroyWindow() {
  if (!host_) return;
  background_window_.reset();
  host_.reset();
  OnDestroy();
}

}  // namespace fernlite
