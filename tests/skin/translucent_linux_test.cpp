// The translucent dialog's GTK window on a real display (Xvfb in the test run): it shows the
// composed layer as it is, takes input only where the layer covers, and routes the pointer to
// its buttons.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "fakes/web_engine_leaks.h"
#include "skin/translucent.h"
#include "skin/translucent_linux.h"

namespace fernlite {
namespace {

bool RunUntil(const std::function<bool()>& done, int seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return done();
}

// The launcher's frame and close glyph from the program's images.
class FrameDialog : public CTranslucentDialog {
 public:
  FrameDialog() : CTranslucentDialog(102, 153, ImageType::Png) {}
  BackgroundWindow* CreateBackground() override { return nullptr; }
  BackgroundWindow* GetBackground() override { return nullptr; }
  void InitControls() override {
    close.SetStateImages({172, 0, 171, 0, 0}, ImageType::Png);
    close.ActionCode = 16;
    AddChild(&close);
    close.SetBounds(RectXYWH(627, 0, 31, 26));
  }
  void OnDestroy() override { ++destroyed; }
  CTranslucentButton close;
  int destroyed = 0;
};

class TranslucentWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    ASSERT_TRUE(CreateTranslucentWindow(dialog_, u"frame"));
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(Window()); }));
  }
  GtkWidget* Window() { return static_cast<GtkWidget*>(dialog_.Host()->Handle()); }

  // What the window paints, as the screen would get it.
  ImagePixels Shot() {
    const int w = gtk_widget_get_allocated_width(Window());
    const int h = gtk_widget_get_allocated_height(Window());
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(shot);
    gtk_widget_draw(Window(), cr);
    cairo_destroy(cr);
    cairo_surface_flush(shot);
    ImagePixels pixels{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    const int stride = cairo_image_surface_get_stride(shot);
    for (int y = 0; y < h; ++y)
      std::memcpy(&pixels.argb[static_cast<size_t>(y) * w],
                  cairo_image_surface_get_data(shot) + y * stride, static_cast<size_t>(w) * 4);
    cairo_surface_destroy(shot);
    return pixels;
  }

  static void Pointer(GtkWidget* widget, GdkEventType type, int x, int y) {
    GdkEvent* event = gdk_event_new(type);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    if (type == GDK_MOTION_NOTIFY) {
      event->motion.x = x;
      event->motion.y = y;
    } else {
      event->button.button = 1;
      event->button.x = x;
      event->button.y = y;
    }
    gtk_widget_event(widget, event);
    gdk_event_free(event);
  }

  FrameDialog dialog_;
};

TEST_F(TranslucentWindow, PaintsTheComposedLayerAsItIs) {
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_allocated_width(Window()) == 661; }));
  EXPECT_EQ(gtk_widget_get_allocated_height(Window()), 420);
  const ImagePixels layer = dialog_.Layer().ReadPixels();
  const ImagePixels shot = Shot();
  ASSERT_EQ(shot.width, layer.width);
  EXPECT_EQ(shot.argb, layer.argb);
  EXPECT_EQ(shot.At(300, 200), 0u);  // the page area stays see-through
}

TEST_F(TranslucentWindow, PointerOverAButtonRecomposesWithItsHoverImage) {
  const ImagePixels before = dialog_.Layer().ReadPixels();
  Pointer(Window(), GDK_MOTION_NOTIFY, 640, 12);
  EXPECT_TRUE(dialog_.close.Hover());
  EXPECT_EQ(dialog_.close.CurrentImage(), dialog_.close.StateImage(kStateHover));
  const ImagePixels after = dialog_.Layer().ReadPixels();
  // The hover picture is another glyph: the layer changed inside the button only.
  int inside = 0, outside = 0;
  for (int y = 0; y < after.height; ++y)
    for (int x = 0; x < after.width; ++x)
      if (before.At(x, y) != after.At(x, y))
        (dialog_.close.Bounds().Contains(x, y) ? inside : outside) += 1;
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(Shot().argb, after.argb);

  // Released over it: the close action runs on the next turn of the loop.
  Pointer(Window(), GDK_BUTTON_PRESS, 640, 12);
  EXPECT_TRUE(dialog_.close.Pressed());
  Pointer(Window(), GDK_BUTTON_RELEASE, 640, 12);
  EXPECT_EQ(dialog_.destroyed, 0);
  ASSERT_TRUE(RunUntil([&] { return dialog_.destroyed == 1; }));
  EXPECT_EQ(dialog_.Host(), nullptr);
}

}  // namespace
}  // namespace fernlite
