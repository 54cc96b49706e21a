#include "app/file_version.h"

#include "app/file_version_platform.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace fernlite {

namespace {

// Four dot-separated numbers ending at a zero byte, starting at bytes[pos].
std::optional<std::u16string> ReadNoteVersion(std::string_view bytes, size_t pos) {
  std::u16string text;
  int parts = 0;
  size_t digits = 0;
  long long value = 0;
  for (; pos < bytes.size(); ++pos) {
    const char c = bytes[pos];
    if (c >= '0' && c <= '9') {
      if (++digits > 5) return std::nullopt;  // components are 16-bit
      value = value * 10 + (c - '0');
      continue;
    }
    if (digits == 0 || value > 65535) return std::nullopt;
    if (!text.empty()) text += u'.';
    text += ToU16(value);
    ++parts;
    digits = 0;
    value = 0;
    if (c == '\0') return parts == 4 ? std::optional(text) : std::nullopt;
    if (c != '.' || parts == 4) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::u16string FindVersionNote(std::string_view bytes) {
  for (size_t pos = bytes.find(kVersionNoteMarker); pos != std::string_view::npos;
       pos = bytes.find(kVersionNoteMarker, pos + 1)) {
    // The reader's own copy of the marker is followed by a zero byte, not a version.
    if (auto version = ReadNoteVersion(bytes, pos + kVersionNoteMarker.size())) return *version;
  }
  return {};
}

std::u16string FileVersionText(const std::u16string& path) {
  return Platform<FileVersionPlatform>().read(path);
}

}  // namespace fernlite
