// The Windows drawing side's handles, for the windows that present what the skin drew.
#pragma once

#include <windows.h>

#include "skin/canvas.h"

namespace fernlite {

// The 32-bit premultiplied DIB section a surface's pixels live in (what a layered window
// presents); null for an image that is not a surface. Owned by the surface.
HBITMAP SurfaceBitmap(const Image& surface);

}  // namespace fernlite
