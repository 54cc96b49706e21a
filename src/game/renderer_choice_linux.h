// The display facts the renderer choice reads, found on the GDK display.
#pragma once

#include <gdk/gdk.h>

#include "game/renderer_choice.h"

namespace fernlite {

// The facts of `display`, looked up anew.
DisplayFacts FindDisplayFacts(GdkDisplay* display);
// The default display's facts, looked up once per process (the display does not change).
const DisplayFacts& CurrentDisplayFacts();

// Without a GPU (no render node at all) the toolkit's GL could only be the CPU's, and loading
// it at the display's opening (the GL driver and its compiler) was most of an empty window's
// start; nothing in this process draws with it then, so it is left out, unless the player set
// the toolkit's GL switch. Runs before the display is opened, before any other thread.
void PrepareToolkitEnvironment();

// The engine's buffer-sharing renderer is a process-wide switch (an environment variable the
// engine reads when it starts), not a view setting: with `renderer` software it is turned off,
// unless the player set the variable. Even with software painting per view the renderer left
// on cost the first paint 50 to 90 ms. Writes the environment, so it runs before any other
// thread of ours does. Both settings reach the programs this process starts too; on the same
// display they are the right choice for those as well.
void PrepareEngineEnvironment(Renderer renderer);

}  // namespace fernlite
