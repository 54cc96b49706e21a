#include "app/version.h"

#include "build_config.h"
#include "platform/text.h"

namespace fernlite {

std::u16string LauncherVersionText() {
  // The build's own version numbers, the same ones its version resource carries.
  std::u16string text;
  for (int part : build::kVersion) {
    if (!text.empty()) text += u'.';
    text += ToU16(part);
  }
  return text;
}

}  // namespace fernlite
