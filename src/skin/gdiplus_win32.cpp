#include "skin/gdiplus_win32.h"

#include <cstdint>

namespace fernlite {
namespace {

// GdiplusStartupInput of GDI+ 1.0, laid out as the library reads it.
struct StartupInput {
  UINT32 version = 1;
  void* debug_event_callback = nullptr;
  BOOL suppress_background_thread = FALSE;
  BOOL suppress_external_codecs = FALSE;
};

using StartupFn = GpStatus(WINAPI*)(ULONG_PTR* token, const StartupInput* input, void* output);
using ShutdownFn = void(WINAPI*)(ULONG_PTR token);

HMODULE g_library = nullptr;
ULONG_PTR g_token = 0;
ShutdownFn g_shutdown = nullptr;
GdiplusApi g_api{};
unsigned g_session = 0;

template <class Fn>
bool Lookup(HMODULE library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
  return fn != nullptr;
}

bool LookupApi(HMODULE library, GdiplusApi& api) {
  return Lookup(library, "GdipLoadImageFromStream", api.GdipLoadImageFromStream) &&
         Lookup(library, "GdipDisposeImage", api.GdipDisposeImage) &&
         Lookup(library, "GdipGetImageWidth", api.GdipGetImageWidth) &&
         Lookup(library, "GdipGetImageHeight", api.GdipGetImageHeight) &&
         Lookup(library, "GdipCreateBitmapFromHBITMAP", api.GdipCreateBitmapFromHBITMAP) &&
         Lookup(library, "GdipCreateBitmapFromResource", api.GdipCreateBitmapFromResource) &&
         Lookup(library, "GdipCreateBitmapFromScan0", api.GdipCreateBitmapFromScan0) &&
         Lookup(library, "GdipBitmapSetResolution", api.GdipBitmapSetResolution) &&
         Lookup(library, "GdipBitmapLockBits", api.GdipBitmapLockBits) &&
         Lookup(library, "GdipBitmapUnlockBits", api.GdipBitmapUnlockBits) &&
         Lookup(library, "GdipGetImageGraphicsContext", api.GdipGetImageGraphicsContext) &&
         Lookup(library, "GdipDeleteGraphics", api.GdipDeleteGraphics) &&
         Lookup(library, "GdipFlush", api.GdipFlush) &&
         Lookup(library, "GdipSetSmoothingMode", api.GdipSetSmoothingMode) &&
         Lookup(library, "GdipSetCompositingMode", api.GdipSetCompositingMode) &&
         Lookup(library, "GdipSetInterpolationMode", api.GdipSetInterpolationMode) &&
         Lookup(library, "GdipSetPixelOffsetMode", api.GdipSetPixelOffsetMode) &&
         Lookup(library, "GdipGraphicsClear", api.GdipGraphicsClear) &&
         Lookup(library, "GdipSetClipRectI", api.GdipSetClipRectI) &&
         Lookup(library, "GdipSetClipRect", api.GdipSetClipRect) &&
         Lookup(library, "GdipSaveGraphics", api.GdipSaveGraphics) &&
         Lookup(library, "GdipRestoreGraphics", api.GdipRestoreGraphics) &&
         Lookup(library, "GdipCreateSolidFill", api.GdipCreateSolidFill) &&
         Lookup(library, "GdipDeleteBrush", api.GdipDeleteBrush) &&
         Lookup(library, "GdipFillRectangleI", api.GdipFillRectangleI) &&
         Lookup(library, "GdipDrawImageRectRect", api.GdipDrawImageRectRect) &&
         Lookup(library, "GdipCreateFontFamilyFromName", api.GdipCreateFontFamilyFromName) &&
         Lookup(library, "GdipGetGenericFontFamilySansSerif",
                api.GdipGetGenericFontFamilySansSerif) &&
         Lookup(library, "GdipCreateFont", api.GdipCreateFont) &&
         Lookup(library, "GdipCreateFontFromLogfontW", api.GdipCreateFontFromLogfontW) &&
         Lookup(library, "GdipDeleteFont", api.GdipDeleteFont) &&
         Lookup(library, "GdipCreateStringFormat", api.GdipCreateStringFormat) &&
         Lookup(library, "GdipSetStringFormatFlags", api.GdipSetStringFormatFlags) &&
         Lookup(library, "GdipSetStringFormatAlign", api.GdipSetStringFormatAlign) &&
         Lookup(library, "GdipSetStringFormatLineAlign", api.GdipSetStringFormatLineAlign) &&
         Lookup(library, "GdipDeleteStringFormat", api.GdipDeleteStringFormat) &&
         Lookup(library, "GdipDrawString", api.GdipDrawString);
}

}  // namespace

bool StartGdiplus() {
  if (g_library) return true;
  HMODULE library = LoadLibraryW(L"Gdiplus.dll");
  if (!library) return false;
  StartupFn startup = nullptr;
  ShutdownFn shutdown = nullptr;
  GdiplusApi api{};
  StartupInput input;
  ULONG_PTR token = 0;
  if (!Lookup(library, "GdiplusStartup", startup) ||
      !Lookup(library, "GdiplusShutdown", shutdown) || !LookupApi(library, api) ||
      startup(&token, &input, nullptr) != kGpOk) {
    FreeLibrary(library);
    return false;
  }
  g_library = library;
  g_token = token;
  g_shutdown = shutdown;
  g_api = api;
  ++g_session;
  return true;
}

void StopGdiplus() {
  if (!g_library) return;
  g_shutdown(g_token);
  FreeLibrary(g_library);
  g_library = nullptr;
  g_token = 0;
  g_shutdown = nullptr;
  g_api = GdiplusApi{};
}

const GdiplusApi* Gdiplus() {
  return StartGdiplus() ? &g_api : nullptr;
}

unsigned GdiplusSession() {
  return g_session;
}

const GdiplusApi* GdiplusIfRunning(unsigned session) {
  return g_library && session == g_session ? &g_api : nullptr;
}

}  // namespace fernlite
