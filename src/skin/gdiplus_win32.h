// GDI+ through its flat API, looked up at run time: the executable starts without the library,
// and a system that lacks it gets the JPG skin instead of a start-up failure.
#pragma once

#include <windows.h>
#include <objidl.h>

namespace fernlite {

// Loads "Gdiplus.dll" and starts it with the default start-up input; false when the library
// or its entry points are missing or the start-up failed.
bool StartGdiplus();
// Shuts GDI+ down (when it was started) and releases the library.
void StopGdiplus();

// The flat API's objects (opaque) and records, laid out as the library reads them.
struct GpGraphics;
struct GpImage;
struct GpBitmap;
struct GpFont;
struct GpFontFamily;
struct GpFontCollection;
struct GpStringFormat;
struct GpBrush;
struct GpSolidFill;
struct GpImageAttributes;
using GpStatus = INT;  // 0 is Ok
using REAL = float;
using GpArgb = DWORD;
using GpPixelFormat = INT;
struct GpRectF {
  REAL X, Y, Width, Height;
};
struct GpRect {
  INT X, Y, Width, Height;
};
struct GpBitmapData {
  UINT Width;
  UINT Height;
  INT Stride;
  GpPixelFormat PixelFormat;
  void* Scan0;
  UINT_PTR Reserved;
};
using GpDrawImageAbort = BOOL(WINAPI*)(void*);

inline constexpr GpStatus kGpOk = 0;
inline constexpr GpPixelFormat kPixelFormat32bppPARGB = 0x000E200B;
inline constexpr INT kSmoothingModeNone = 3;
inline constexpr INT kInterpolationModeNearestNeighbor = 5;
inline constexpr INT kPixelOffsetModeHalf = 4;
inline constexpr INT kUnitPixel = 2;
inline constexpr INT kUnitPoint = 3;
inline constexpr INT kFontStyleRegular = 0;
inline constexpr INT kFontStyleBold = 1;
inline constexpr INT kCombineModeIntersect = 1;
inline constexpr INT kCombineModeExclude = 4;
inline constexpr INT kFlushIntentionSync = 1;
inline constexpr UINT kImageLockModeRead = 1;
inline constexpr INT kStringFormatFlagsNoClip = 0x4000;

// The entry points the program uses.
struct GdiplusApi {
  GpStatus(WINAPI* GdipLoadImageFromStream)(IStream* stream, GpImage** image);
  GpStatus(WINAPI* GdipDisposeImage)(GpImage* image);
  GpStatus(WINAPI* GdipGetImageWidth)(GpImage* image, UINT* width);
  GpStatus(WINAPI* GdipGetImageHeight)(GpImage* image, UINT* height);
  GpStatus(WINAPI* GdipCreateBitmapFromHBITMAP)(HBITMAP source, HPALETTE palette,
                                                GpBitmap** bitmap);
  GpStatus(WINAPI* GdipCreateBitmapFromResource)(HINSTANCE module, const WCHAR* name,
                                                 GpBitmap** bitmap);
  GpStatus(WINAPI* GdipCreateBitmapFromScan0)(INT width, INT height, INT stride,
                                              GpPixelFormat format, BYTE* scan0, GpBitmap** bitmap);
  GpStatus(WINAPI* GdipBitmapSetResolution)(GpBitmap* bitmap, REAL x_dpi, REAL y_dpi);
  GpStatus(WINAPI* GdipBitmapLockBits)(GpBitmap* bitmap, const GpRect* rect, UINT flags,
                                       GpPixelFormat format, GpBitmapData* data);
  GpStatus(WINAPI* GdipBitmapUnlockBits)(GpBitmap* bitmap, GpBitmapData* data);
  GpStatus(WINAPI* GdipGetImageGraphicsContext)(GpImage* image, GpGraphics** graphics);
  GpStatus(WINAPI* GdipDeleteGraphics)(GpGraphics* graphics);
  GpStatus(WINAPI* GdipFlush)(GpGraphics* graphics, INT intention);
  GpStatus(WINAPI* GdipSetSmoothingMode)(GpGraphics* graphics, INT mode);
  GpStatus(WINAPI* GdipSetCompositingMode)(GpGraphics* graphics, INT mode);
  GpStatus(WINAPI* GdipSetInterpolationMode)(GpGraphics* graphics, INT mode);
  GpStatus(WINAPI* GdipSetPixelOffsetMode)(GpGraphics* graphics, INT mode);
  GpStatus(WINAPI* GdipGraphicsClear)(GpGraphics* graphics, GpArgb colour);
  GpStatus(WINAPI* GdipSetClipRectI)(GpGraphics* graphics, INT x, INT y, INT width, INT height,
                                     INT combine_mode);
  GpStatus(WINAPI* GdipSetClipRect)(GpGraphics* graphics, REAL x, REAL y, REAL width, REAL height,
                                    INT combine_mode);
  GpStatus(WINAPI* GdipSaveGraphics)(GpGraphics* graphics, UINT* state);
  GpStatus(WINAPI* GdipRestoreGraphics)(GpGraphics* graphics, UINT state);
  GpStatus(WINAPI* GdipCreateSolidFill)(GpArgb colour, GpSolidFill** brush);
  GpStatus(WINAPI* GdipDeleteBrush)(GpBrush* brush);
  GpStatus(WINAPI* GdipFillRectangleI)(GpGraphics* graphics, GpBrush* brush, INT x, INT y,
                                       INT width, INT height);
  GpStatus(WINAPI* GdipDrawImageRectRect)(GpGraphics* graphics, GpImage* image, REAL dst_x,
                                          REAL dst_y, REAL dst_width, REAL dst_height, REAL src_x,
                                          REAL src_y, REAL src_width, REAL src_height, INT src_unit,
                                          const GpImageAttributes* attributes,
                                          GpDrawImageAbort abort, void* abort_data);
  GpStatus(WINAPI* GdipCreateFontFamilyFromName)(const WCHAR* name, GpFontCollection* collection,
                                                 GpFontFamily** family);
  GpStatus(WINAPI* GdipGetGenericFontFamilySansSerif)(GpFontFamily** family);
  GpStatus(WINAPI* GdipCreateFont)(const GpFontFamily* family, REAL size, INT style, INT unit,
                                   GpFont** font);
  GpStatus(WINAPI* GdipCreateFontFromLogfontW)(HDC dc, const LOGFONTW* logfont, GpFont** font);
  GpStatus(WINAPI* GdipDeleteFont)(GpFont* font);
  GpStatus(WINAPI* GdipCreateStringFormat)(INT flags, LANGID language, GpStringFormat** format);
  GpStatus(WINAPI* GdipSetStringFormatFlags)(GpStringFormat* format, INT flags);
  GpStatus(WINAPI* GdipSetStringFormatAlign)(GpStringFormat* format, INT align);
  GpStatus(WINAPI* GdipSetStringFormatLineAlign)(GpStringFormat* format, INT align);
  GpStatus(WINAPI* GdipDeleteStringFormat)(GpStringFormat* format);
  GpStatus(WINAPI* GdipDrawString)(GpGraphics* graphics, const WCHAR* text, INT length,
                                   const GpFont* font, const GpRectF* layout,
                                   const GpStringFormat* format, const GpBrush* brush);
};

// The entry points of the running library, started on first use; null when it cannot be.
const GdiplusApi* Gdiplus();
// Counts the starts: objects of an earlier session must not reach the library again.
unsigned GdiplusSession();
// The entry points only while the library runs in that session; null otherwise.
const GdiplusApi* GdiplusIfRunning(unsigned session);

}  // namespace fernlite
