#include "game/renderer_choice_linux.h"

#include <X11/Xlib.h>
#include <dirent.h>
#include <stdlib.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <string>
#include <string_view>

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

namespace fernlite {

namespace {

bool HasRenderNode() {
  DIR* dir = opendir("/dev/dri");
  if (!dir) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.rfind("renderD", 0) != 0) continue;
    const std::string path = "/dev/dri/" + std::string(name);
    if (access(path.c_str(), R_OK | W_OK) == 0) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

DisplayFacts FindDisplayFacts(GdkDisplay* display) {
  DisplayFacts facts;
  if (!display) return facts;
  if (GDK_IS_X11_DISPLAY(display)) {
    facts.kind = DisplayKind::kX11;
    int opcode = 0, event = 0, error = 0;
    facts.x11_dri3 = XQueryExtension(gdk_x11_display_get_xdisplay(display), "DRI3", &opcode, &event,
                                     &error) != 0;
  }
#ifdef GDK_WINDOWING_WAYLAND
  else if (GDK_IS_WAYLAND_DISPLAY(display)) {
    facts.kind = DisplayKind::kWayland;
  }
#endif
  facts.render_node = HasRenderNode();
  return facts;
}

const DisplayFacts& CurrentDisplayFacts() {
  static const DisplayFacts facts = FindDisplayFacts(gdk_display_get_default());
  return facts;
}

void PrepareEnvironmentForTheMachine() {
  if (HasRenderNode()) return;
  setenv("GDK_GL", "disable", 0);
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
}

}  // namespace fernlite
