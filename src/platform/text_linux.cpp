#include "platform/text.h"

namespace fernlite {

// The Linux build's "ANSI code page" is UTF-8.
std::string ToAnsi(std::u16string_view text) {
  return ToUtf8(text);
}
std::u16string FromAnsi(std::string_view bytes) {
  return FromUtf8(bytes);
}

}  // namespace fernlite
