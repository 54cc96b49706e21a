// The display facts the renderer choice reads, found on the GDK display.
#pragma once

#include <gdk/gdk.h>

#include "game/renderer_choice.h"

namespace fernlite {

// The facts of `display`, looked up anew.
DisplayFacts FindDisplayFacts(GdkDisplay* display);
// The default display's facts, looked up once per process (the display does not change).
const DisplayFacts& CurrentDisplayFacts();

// Without a GPU on the machine (no render node at all) all GL is the CPU's. Two process-wide
// switches then, environment variables the toolkit and the engine read when they start: the
// toolkit loads no GL at the display's opening (the GL driver and its compiler were most of an
// empty window's start, and nothing here draws with GL then), and the engine's buffer-sharing
// renderer stays off (with software painting per view it still cost the first paint 50 to
// 90 ms). A value the player set stays. Writes the environment, so it runs first, before any
// other thread; both settings reach the programs this process starts too, where on the same
// machine they are the right choice as well.
void PrepareEnvironmentForTheMachine();

}  // namespace fernlite
