// Include in exactly one file of a test program that starts the web engine. The engine, fonts
// and the accessibility bus keep process-lifetime allocations that the leak checker reports at
// exit; they are not ours. Full stacks are needed to see whose they are: the engine's
// libraries have no frame pointers. The engine is opened at run time, so its thread-local
// blocks are dynamic; this toolchain's leak checker crashes walking those of other threads,
// so it is told not to track them (the program's own and GLib's are static and still scanned).
#pragma once

extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0:intercept_tls_get_addr=0";
}
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libjavascriptcoregtk-4.1.so\n"
         "leak:libwebkit2gtk-4.1.so\nleak:libgtk-3.so\nleak:libgdk-3.so\n";
}
