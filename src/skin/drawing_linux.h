// The skin's images in cairo terms, for the GTK windows that present them.
#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "skin/canvas.h"

namespace fernlite {

// The premultiplied ARGB32 image surface behind an image; null for an empty one. The image
// keeps it alive.
cairo_surface_t* CairoSurface(const Image& image);

// A copy of a pixbuf's pixels as an image.
Image ImageFromPixbuf(GdkPixbuf* pixbuf);

}  // namespace fernlite
