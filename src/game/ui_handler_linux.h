// The three decisions every embedded browser gets, in WebKitGTK terms.
#pragma once

#include "game/webkit_api_linux.h"

namespace fernlite {

// Hides scroll bars of the page's viewport (the page scrolls itself).
inline constexpr char kNoScrollBarsStyle[] =
    "html { overflow: hidden !important; }\n"
    "html::-webkit-scrollbar { display: none !important; width: 0 !important; "
    "height: 0 !important; }\n";

// No context menu anywhere, no scroll bars or border, and window.external in every page.
void ConfigureWebView(WebKitWebView* view);

}  // namespace fernlite
