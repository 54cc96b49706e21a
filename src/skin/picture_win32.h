// An image resource drawn without GDI+: OLE's picture loader decodes it (JPEG, GIF, BMP) and
// paints it into a device context. The launcher's JPG look uses it when GDI+ is missing.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstdint>

#include "platform/handles_win32.h"

namespace fernlite {

class ResourcePicture {
 public:
  ResourcePicture() = default;
  // Resource `id` of `type` ("JPG") in the module (null: the program); empty when it is
  // missing or does not decode. Decode once per window and paint as often as needed.
  static ResourcePicture Load(uint16_t id, const wchar_t* type, HMODULE module = nullptr);

  bool Empty() const { return !picture_; }
  // The whole picture stretched into the rectangle; false when nothing was painted.
  bool Paint(HDC dc, const RECT& destination) const;

 private:
  ComPtr<IPicture> picture_;
};

// Load and paint in one call, for a painter that keeps nothing between paints.
bool PaintPictureResource(HDC dc, uint16_t id, const wchar_t* type, const RECT& destination,
                          HMODULE module = nullptr);

}  // namespace fernlite
