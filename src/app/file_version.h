// The file version of an executable.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// "%d.%d.%d.%d"; empty when the file has no readable version.
// Windows: the fixed file version of the version resource. Linux: the version note that every
// launcher executable carries (kVersionNoteMarker followed by the dotted version and a zero
// byte), found anywhere in the file.
std::u16string FileVersionText(const std::u16string& path);

inline constexpr std::string_view kVersionNoteMarker = "FERNLITE-VERSION:";

// The first version note in `bytes`: the marker directly followed by four dot-separated
// decimal numbers and a zero byte, formatted "%d.%d.%d.%d"; empty when there is none.
std::u16string FindVersionNote(std::string_view bytes);

}  // namespace fernlite
