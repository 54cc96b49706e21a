#include "skin/picture_win32.h"

#include <objbase.h>
#include <olectl.h>

#include <cstring>

#include "skin/resource_bytes_win32.h"

namespace fernlite {

ResourcePicture ResourcePicture::Load(uint16_t id, const wchar_t* type, HMODULE module) {
  ResourcePicture result;
  const std::span<const uint8_t> bytes = ResourceBytes(module, id, type);
  if (bytes.empty()) return result;
  // The loader reads a stream; the stream owns its copy of the bytes and frees it.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  void* block = memory ? GlobalLock(memory) : nullptr;
  if (!block) {
    if (memory) GlobalFree(memory);
    return result;
  }
  std::memcpy(block, bytes.data(), bytes.size());
  GlobalUnlock(memory);
  ComPtr<IStream> stream;
  if (CreateStreamOnHGlobal(memory, TRUE, stream.put()) != S_OK) {
    GlobalFree(memory);
    return result;
  }
  if (OleLoadPicture(stream.get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                     result.picture_.put_void()) != S_OK)
    result.picture_.reset();
  return result;
}

bool ResourcePicture::Paint(HDC dc, const RECT& destination) const {
  if (!picture_ || !dc) return false;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  if (picture_->get_Width(&width) != S_OK || picture_->get_Height(&height) != S_OK) return false;
  // Source rectangle in HIMETRIC, whose y axis points up: start at the bottom, go up.
  return picture_->Render(
             dc, destination.left, destination.top, destination.right - destination.left,
             destination.bottom - destination.top, 0, height, width, -height, nullptr) == S_OK;
}

bool PaintPictureResource(HDC dc, uint16_t id, const wchar_t* type, const RECT& destination,
                          HMODULE module) {
  return ResourcePicture::Load(id, type, module).Paint(dc, destination);
}

}  // namespace fernlite
