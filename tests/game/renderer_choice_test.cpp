#include "game/renderer_choice.h"

#include <gtest/gtest.h>

namespace fernlite {
namespace {

DisplayFacts Facts(DisplayKind kind, bool dri3, bool render_node) {
  DisplayFacts facts;
  facts.kind = kind;
  facts.x11_dri3 = dri3;
  facts.render_node = render_node;
  return facts;
}

TEST(RendererChoice, HardwareNeedsAGpuTheDisplayTakesBuffersFrom) {
  // A desktop on a GPU: X with DRI3 or Wayland, and a render node.
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kX11, true, true)), Renderer::kHardware);
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kWayland, false, true)), Renderer::kHardware);
}

TEST(RendererChoice, VirtualAndRemoteDisplaysPaintInSoftware) {
  // Xvfb, Xvnc, a forwarded X display: no DRI3, even on a machine that has a GPU.
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kX11, false, true)), Renderer::kSoftware);
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kX11, false, false)), Renderer::kSoftware);
}

TEST(RendererChoice, NoRenderNodeMeansNoGpuWhateverTheServerOffers) {
  // A server may offer DRI3 over a software driver; with no node there is nothing to render on.
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kX11, true, false)), Renderer::kSoftware);
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kWayland, false, false)), Renderer::kSoftware);
}

TEST(RendererChoice, UnknownDisplaysPaintInSoftware) {
  // Other backends (a browser-based one, say) cannot take GPU buffers from the engine; a DRI3
  // flag that only means something on X changes nothing there.
  EXPECT_EQ(ChooseRenderer(Facts(DisplayKind::kOther, true, true)), Renderer::kSoftware);
  EXPECT_EQ(ChooseRenderer(DisplayFacts{}), Renderer::kSoftware);
}

}  // namespace
}  // namespace fernlite
