// What text conversion needs from the system: the thread's ANSI code page.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace fernlite {

struct TextPlatform {
  static constexpr const char* kUnit = "text";
  // UTF-16 to the thread's ANSI code page and back (Linux: UTF-8). Characters the code page
  // cannot hold become its default character.
  std::function<std::string(std::u16string_view)> to_ansi;
  std::function<std::u16string(std::string_view)> from_ansi;
};

const TextPlatform& NativeTextPlatform();

}  // namespace fernlite
