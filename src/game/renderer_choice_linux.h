// The display facts the renderer choice reads, found on the GDK display.
#pragma once

#include <gdk/gdk.h>

#include "game/renderer_choice.h"

namespace fernlite {

// The facts of `display`, looked up anew.
DisplayFacts FindDisplayFacts(GdkDisplay* display);
// The default display's facts, looked up once per process (the display does not change).
const DisplayFacts& CurrentDisplayFacts();

}  // namespace fernlite
