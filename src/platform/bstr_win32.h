// A BSTR's text as the program's UTF-16 text.
#pragma once

#include <oleauto.h>

#include <string>

namespace fernlite {

// SysStringLen reads the length prefix, so embedded nulls survive; a null BSTR is empty.
inline std::u16string BstrText(BSTR text) {
  const UINT length = SysStringLen(text);
  return length ? std::u16string(reinterpret_cast<const char16_t*>(text), length)
                : std::u16string();
}

}  // namespace fernlite
