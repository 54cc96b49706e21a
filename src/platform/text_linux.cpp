#include "platform/text.h"
#include "platform/text_platform.h"

namespace fernlite {

// The Linux build's "ANSI code page" is UTF-8.
const TextPlatform& NativeTextPlatform() {
  static const TextPlatform& table = *new TextPlatform{
      [](std::u16string_view text) { return ToUtf8(text); },
      [](std::string_view bytes) { return FromUtf8(bytes); },
  };
  return table;
}

}  // namespace fernlite
