// Windows side of the skin's drawing, on GDI+'s flat API: surfaces are 32-bit premultiplied
// bitmaps over a DIB section (what a layered window presents), images are decoded by GDI+
// from their bytes or the program's resources, and each operation is a call or two of the
// flat API.
#include "skin/drawing_win32.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "skin/drawing_platform.h"
#include "skin/gdiplus_win32.h"
#include "skin/resource_bytes_win32.h"

namespace fernlite {

struct NativeImage {
  NativeImage() = default;
  NativeImage(const NativeImage&) = delete;
  NativeImage& operator=(const NativeImage&) = delete;
  ~NativeImage() {
    if (const GdiplusApi* api = GdiplusIfRunning(session); api && image)
      api->GdipDisposeImage(image);
    if (stream) stream->Release();
    if (memory) GlobalFree(memory);
    if (section) DeleteObject(section);
  }

  unsigned session = 0;
  GpImage* image = nullptr;
  // A decoded image may read from its stream for as long as it lives.
  IStream* stream = nullptr;
  // Resource images: the block under the stream, which does not free it.
  HGLOBAL memory = nullptr;
  // Surfaces: the section the bitmap's pixels live in.
  HBITMAP section = nullptr;
  uint32_t* bits = nullptr;
};

struct NativeCanvas {
  unsigned session;
  GpGraphics* graphics;
};

namespace {

Image WrapImage(std::shared_ptr<NativeImage> native, const GdiplusApi& api) {
  UINT width = 0, height = 0;
  if (api.GdipGetImageWidth(native->image, &width) != kGpOk ||
      api.GdipGetImageHeight(native->image, &height) != kGpOk || width == 0 || height == 0)
    return {};
  return Image(std::move(native), static_cast<int>(width), static_cast<int>(height));
}

Image Decode(std::span<const uint8_t> bytes) {
  const GdiplusApi* api = Gdiplus();
  if (!api || bytes.empty()) return {};
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return {};
  if (void* block = GlobalLock(memory)) {
    std::memcpy(block, bytes.data(), bytes.size());
    GlobalUnlock(memory);
  } else {
    GlobalFree(memory);
    return {};
  }
  auto native = std::make_shared<NativeImage>();
  native->session = GdiplusSession();
  // The stream owns the block from here on.
  if (CreateStreamOnHGlobal(memory, TRUE, &native->stream) != S_OK) {
    GlobalFree(memory);
    return {};
  }
  if (api->GdipLoadImageFromStream(native->stream, &native->image) != kGpOk) {
    native->image = nullptr;
    return {};
  }
  return WrapImage(std::move(native), *api);
}

Image CreateSurface(int width, int height) {
  const GdiplusApi* api = Gdiplus();
  if (!api || width <= 0 || height <= 0) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows top-down, as everywhere else
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  auto native = std::make_shared<NativeImage>();
  native->session = GdiplusSession();
  void* bits = nullptr;
  native->section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!native->section || !bits) return {};
  native->bits = static_cast<uint32_t*>(bits);
  std::memset(bits, 0, static_cast<size_t>(width) * height * 4);
  GpBitmap* bitmap = nullptr;
  if (api->GdipCreateBitmapFromScan0(width, height, width * 4, kPixelFormat32bppPARGB,
                                     static_cast<BYTE*>(bits), &bitmap) != kGpOk)
    return {};
  native->image = reinterpret_cast<GpImage*>(bitmap);
  // Font sizes in points mean the same on every surface.
  api->GdipBitmapSetResolution(bitmap, 96, 96);
  return Image(std::move(native), width, height);
}

ImagePixels ReadPixels(const Image& image) {
  const NativeImage* native = image.Native();
  ImagePixels pixels{image.Width(), image.Height(), {}};
  pixels.argb.resize(static_cast<size_t>(pixels.width) * pixels.height);
  if (native->bits) {
    GdiFlush();
    std::memcpy(pixels.argb.data(), native->bits, pixels.argb.size() * 4);
    return pixels;
  }
  const GdiplusApi* api = GdiplusIfRunning(native->session);
  if (!api) return {};
  auto* bitmap = reinterpret_cast<GpBitmap*>(native->image);
  const GpRect rect{0, 0, pixels.width, pixels.height};
  GpBitmapData data{};
  if (api->GdipBitmapLockBits(bitmap, &rect, kImageLockModeRead, kPixelFormat32bppPARGB, &data) !=
      kGpOk)
    return {};
  for (int y = 0; y < pixels.height; ++y)
    std::memcpy(&pixels.argb[static_cast<size_t>(y) * pixels.width],
                static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
                static_cast<size_t>(pixels.width) * 4);
  api->GdipBitmapUnlockBits(bitmap, &data);
  return pixels;
}

NativeCanvasPtr OpenCanvas(const Image& target) {
  const NativeImage* native = target.Native();
  const GdiplusApi* api = GdiplusIfRunning(native->session);
  GpGraphics* graphics = nullptr;
  if (!api || !native->section ||
      api->GdipGetImageGraphicsContext(native->image, &graphics) != kGpOk)
    return NativeCanvasPtr(nullptr, nullptr);
  api->GdipSetSmoothingMode(graphics, kSmoothingModeNone);
  // Nearest pixel, sampled at pixel centres: whole frames of a strip stay whole.
  api->GdipSetInterpolationMode(graphics, kInterpolationModeNearestNeighbor);
  api->GdipSetPixelOffsetMode(graphics, kPixelOffsetModeHalf);
  return NativeCanvasPtr(new NativeCanvas{native->session, graphics}, [](NativeCanvas* canvas) {
    if (const GdiplusApi* running = GdiplusIfRunning(canvas->session))
      running->GdipDeleteGraphics(canvas->graphics);
    delete canvas;
  });
}

// Every operation runs in the session its canvas was opened in.
const GdiplusApi* ApiFor(const NativeCanvas& canvas) {
  return GdiplusIfRunning(canvas.session);
}

void Clear(NativeCanvas& canvas, uint32_t argb) {
  if (const GdiplusApi* api = ApiFor(canvas)) api->GdipGraphicsClear(canvas.graphics, argb);
}

void FillRectangle(NativeCanvas& canvas, const Rect& rect, uint32_t argb) {
  const GdiplusApi* api = ApiFor(canvas);
  GpSolidFill* brush = nullptr;
  if (!api || api->GdipCreateSolidFill(argb, &brush) != kGpOk) return;
  api->GdipFillRectangleI(canvas.graphics, reinterpret_cast<GpBrush*>(brush), rect.left, rect.top,
                          rect.Width(), rect.Height());
  api->GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
}

void ExcludeClip(NativeCanvas& canvas, const Rect& rect) {
  if (const GdiplusApi* api = ApiFor(canvas))
    api->GdipSetClipRectI(canvas.graphics, rect.left, rect.top, rect.Width(), rect.Height(),
                          kCombineModeExclude);
}

void DrawImage(NativeCanvas& canvas, const Image& image, const RectF& source,
               const RectF& destination) {
  const GdiplusApi* api = ApiFor(canvas);
  if (!api || image.Native()->session != canvas.session) return;
  api->GdipDrawImageRectRect(canvas.graphics, image.Native()->image, destination.x, destination.y,
                             destination.width, destination.height, source.x, source.y,
                             source.width, source.height, kUnitPixel, nullptr, nullptr, nullptr);
}

void CopyImage(NativeCanvas& canvas, const Image& image, const RectF& source,
               const RectF& destination) {
  const GdiplusApi* api = ApiFor(canvas);
  if (!api || image.Native()->session != canvas.session) return;
  constexpr INT kSourceCopy = 1, kSourceOver = 0;
  api->GdipSetCompositingMode(canvas.graphics, kSourceCopy);
  DrawImage(canvas, image, source, destination);
  api->GdipSetCompositingMode(canvas.graphics, kSourceOver);
}

// Families are looked up once per session and kept; a missing one is the generic sans-serif,
// null when even that is missing.
GpFontFamily* FontFamily(const GdiplusApi& api, unsigned session, const std::u16string& name) {
  static unsigned cached_session = 0;
  static auto& families = *new std::map<std::u16string, GpFontFamily*>();
  if (cached_session != session) {
    families.clear();  // those of an earlier session went with it
    cached_session = session;
  }
  auto it = families.find(name);
  if (it != families.end()) return it->second;
  GpFontFamily* family = nullptr;
  if (api.GdipCreateFontFamilyFromName(reinterpret_cast<const WCHAR*>(name.c_str()), nullptr,
                                       &family) != kGpOk &&
      api.GdipGetGenericFontFamilySansSerif(&family) != kGpOk)
    family = nullptr;
  families.emplace(name, family);
  return family;
}

// The face the system's font mapper substitutes for the family, at the same size: for
// systems that lack even the generic family (only their own and a few other faces).
GpFont* SubstitutedFont(const GdiplusApi& api, const FontSpec& wanted) {
  LOGFONTW logfont{};
  logfont.lfHeight = -static_cast<LONG>(wanted.size_points * 96 / 72 + 0.5);
  logfont.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
  logfont.lfCharSet = DEFAULT_CHARSET;
  const size_t length = std::min<size_t>(wanted.family.size(), LF_FACESIZE - 1);
  std::memcpy(logfont.lfFaceName, wanted.family.data(), length * sizeof(WCHAR));
  HDC dc = CreateCompatibleDC(nullptr);
  GpFont* font = nullptr;
  if (!dc || api.GdipCreateFontFromLogfontW(dc, &logfont, &font) != kGpOk) font = nullptr;
  if (dc) DeleteDC(dc);
  return font;
}

void DrawString(NativeCanvas& canvas, std::u16string_view text, const RectF& layout,
                const FontSpec& wanted, const StringFormat& format, uint32_t argb) {
  const GdiplusApi* api = ApiFor(canvas);
  if (!api) return;
  GpFont* font = nullptr;
  if (GpFontFamily* family = FontFamily(*api, canvas.session, wanted.family)) {
    if (api->GdipCreateFont(family, static_cast<REAL>(wanted.size_points),
                            wanted.bold ? kFontStyleBold : kFontStyleRegular, kUnitPoint,
                            &font) != kGpOk)
      font = nullptr;
  } else {
    font = SubstitutedFont(*api, wanted);
  }
  if (!font) return;
  GpStringFormat* string_format = nullptr;
  GpSolidFill* brush = nullptr;
  if (api->GdipCreateStringFormat(0, 0, &string_format) == kGpOk &&
      api->GdipCreateSolidFill(argb, &brush) == kGpOk) {
    api->GdipSetStringFormatFlags(string_format, static_cast<INT>(format.flags));
    api->GdipSetStringFormatAlign(string_format, static_cast<INT>(format.horizontal));
    api->GdipSetStringFormatLineAlign(string_format, static_cast<INT>(format.vertical));
    const GpRectF rect{layout.x, layout.y, layout.width, layout.height};
    // Text outside a layout rectangle is clipped (unless asked otherwise); said explicitly,
    // as not every implementation of the library does it by itself.
    const bool clip =
        (layout.width != 0 || layout.height != 0) && !(format.flags & kStringFormatFlagsNoClip);
    UINT state = 0;
    if (clip) {
      api->GdipSaveGraphics(canvas.graphics, &state);
      api->GdipSetClipRect(canvas.graphics, layout.x, layout.y, layout.width, layout.height,
                           kCombineModeIntersect);
    }
    api->GdipDrawString(canvas.graphics, reinterpret_cast<const WCHAR*>(text.data()),
                        static_cast<INT>(text.size()), font, &rect, string_format,
                        reinterpret_cast<GpBrush*>(brush));
    if (clip) api->GdipRestoreGraphics(canvas.graphics, state);
  }
  if (brush) api->GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
  if (string_format) api->GdipDeleteStringFormat(string_format);
  api->GdipDeleteFont(font);
}

void Flush(NativeCanvas& canvas) {
  if (const GdiplusApi* api = ApiFor(canvas)) api->GdipFlush(canvas.graphics, kFlushIntentionSync);
}

Image WrapBitmap(std::shared_ptr<NativeImage> native, GpBitmap* bitmap, const GdiplusApi& api) {
  native->image = reinterpret_cast<GpImage*>(bitmap);
  return WrapImage(std::move(native), api);
}

// A bitmap resource through a device-dependent bitmap, which GDI+ copies.
Image LoadBitmapResource(HMODULE module, uint16_t id) {
  const GdiplusApi* api = Gdiplus();
  if (!api) return {};
  HBITMAP source = LoadBitmapW(module, MAKEINTRESOURCEW(id));
  if (!source) return {};
  auto native = std::make_shared<NativeImage>();
  native->session = GdiplusSession();
  GpBitmap* bitmap = nullptr;
  const GpStatus status = api->GdipCreateBitmapFromHBITMAP(source, nullptr, &bitmap);
  DeleteObject(source);
  if (status != kGpOk || !bitmap) return {};
  return WrapBitmap(std::move(native), bitmap, *api);
}

// An encoded image resource (PNG, JPG), decoded from a copy of its bytes that lives as long
// as the image.
Image LoadEncodedResource(HMODULE module, uint16_t id, const wchar_t* type) {
  const GdiplusApi* api = Gdiplus();
  if (!api) return {};
  const std::span<const uint8_t> bytes = ResourceBytes(module, id, type);
  if (bytes.empty()) return {};
  auto native = std::make_shared<NativeImage>();
  native->session = GdiplusSession();
  native->memory = GlobalAlloc(GMEM_FIXED, bytes.size());
  void* block = native->memory ? GlobalLock(native->memory) : nullptr;
  if (!block) return {};
  std::memcpy(block, bytes.data(), bytes.size());
  const bool decoded = CreateStreamOnHGlobal(native->memory, FALSE, &native->stream) == S_OK &&
                       api->GdipLoadImageFromStream(native->stream, &native->image) == kGpOk &&
                       native->image;
  GlobalUnlock(native->memory);
  if (!decoded) {
    native->image = nullptr;
    return {};
  }
  return WrapImage(std::move(native), *api);
}

Image ProgramImage(uint16_t id, ImageType type) {
  HMODULE module = GetModuleHandleW(nullptr);
  switch (type) {
    case ImageType::Bitmap: return LoadBitmapResource(module, id);
    case ImageType::Png: return LoadEncodedResource(module, id, L"PNG");
    case ImageType::Jpg: return LoadEncodedResource(module, id, L"JPG");
  }
  return {};
}

// The cache's way: GDI+ reads the bitmap resource of the main module itself.
Image CachedBitmap(uint16_t id) {
  const GdiplusApi* api = Gdiplus();
  if (!api) return {};
  auto native = std::make_shared<NativeImage>();
  native->session = GdiplusSession();
  GpBitmap* bitmap = nullptr;
  if (api->GdipCreateBitmapFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), &bitmap) !=
          kGpOk ||
      !bitmap)
    return {};
  return WrapBitmap(std::move(native), bitmap, *api);
}

}  // namespace

HBITMAP SurfaceBitmap(const Image& surface) {
  const NativeImage* native = surface.Native();
  return native ? native->section : nullptr;
}

const DrawingPlatform& NativeDrawingPlatform() {
  static const DrawingPlatform& table = *new DrawingPlatform{
      &ProgramImage,  &CachedBitmap, &Decode,    &CreateSurface, &ReadPixels, &OpenCanvas, &Clear,
      &FillRectangle, &ExcludeClip,  &DrawImage, &CopyImage,     &DrawString, &Flush,
  };
  return table;
}

}  // namespace fernlite
