#include "game/renderer_choice.h"

namespace fernlite {

Renderer ChooseRenderer(const DisplayFacts& facts) {
  if (!facts.render_node) return Renderer::kSoftware;
  switch (facts.kind) {
    case DisplayKind::kWayland:
      return Renderer::kHardware;  // Wayland compositors take GPU buffers by design
    case DisplayKind::kX11: return facts.x11_dri3 ? Renderer::kHardware : Renderer::kSoftware;
    case DisplayKind::kOther: break;
  }
  return Renderer::kSoftware;
}

}  // namespace fernlite
