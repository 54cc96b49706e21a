// Which renderer the web engine gets, from what the display offers. Without a GPU the
// engine's buffer-sharing renderer runs its GL on the CPU and the first page paint takes
// seconds; painting in software from the start takes a fraction of that. Where there is a GPU
// the game page wants it, so hardware rendering stays.
#pragma once

namespace fernlite {

enum class DisplayKind { kX11, kWayland, kOther };

// What the platform side finds out about the display, cheaply and without the web engine.
struct DisplayFacts {
  DisplayKind kind = DisplayKind::kOther;
  // X11 only: the server has the DRI3 extension, i.e. clients can render on a GPU and share
  // the buffers with it (a virtual framebuffer, a remote or an unaccelerated server has not).
  bool x11_dri3 = false;
  // A DRM render node this process may open (/dev/dri/renderD*): there is a GPU to render on.
  bool render_node = false;
};

enum class Renderer { kHardware, kSoftware };

// Hardware only with a GPU to render on that the display can take buffers from: a render node
// and a Wayland compositor or an X server with DRI3. Everything else paints in software.
Renderer ChooseRenderer(const DisplayFacts& facts);

}  // namespace fernlite
